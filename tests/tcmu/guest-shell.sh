# Group "shell", sourced by /init: a shell on the serial console with both
# drives served and every program of the other groups at hand, for trying
# things by hand. Leaving the shell stops the handler and powers off.
echo "/dev/sr0 is drive 0 (BD writer), /dev/sr1 drive 1 (DVD writer); sources in /src."
echo "Try: tessor-vdrive insert 0 dvd+rw; growisofs -dvd-compat -Z /dev/sr0=/src/gamma.iso"
echo "The handler's command trace: /tmp/trace.log. 'exit' powers off."
setsid cttyhack sh
