# The benchmark trees (sourced): make_tree NAME makes $work/NAME once.
make_tree() {
    local name=$1 dir=$work/$1
    [ -f "$dir.done" ] && return
    rm -rf "$dir"; mkdir -p "$dir"
    case $name in
        big)
            # One file of 2 GiB, incompressible: the large-extent path.
            head -c $((2048 * 1024 * 1024)) /dev/urandom > "$dir/big.bin" ;;
        small)
            python3 - "$dir" <<'PY'
import os, random, sys
root = sys.argv[1]; rnd = random.Random(7); blob = os.urandom(8192)
dirs = [root]
for d in range(2000):
    parent = dirs[rnd.randrange(len(dirs))] if d else root
    depth = parent[len(root):].count('/')
    if depth >= 6: parent = root
    p = os.path.join(parent, "dir%04d" % d); os.mkdir(p); dirs.append(p)
for f in range(100000):
    d = dirs[1 + f % 2000]
    with open(os.path.join(d, "file%06d.dat" % f), "wb") as out:
        out.write(blob[:rnd.randrange(8193)])
PY
            ;;
        flat)
            python3 - "$dir" <<'PY'
import os, sys
root = sys.argv[1]; blob = os.urandom(1024)
for f in range(50000):
    with open(os.path.join(root, "IMG_%05d.JPG" % f), "wb") as out: out.write(blob)
PY
            ;;
    esac
    touch "$dir.done"
}
