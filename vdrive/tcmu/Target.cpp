#include "vdrive/tcmu/Target.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tessor::vdrive::tcmu {

namespace {

constexpr const char* kHba = "core/user_0";
// SAS addresses of the loopback target port and of its initiator side.
constexpr const char* kTargetWwn = "naa.5001405000000001";
constexpr const char* kInitiatorWwn = "naa.5001405000000002";
// The sector size and the largest disc the model holds (BD, 25 GB); the
// core only keeps it, every answer about capacity comes from the model.
constexpr unsigned long long kDeviceBytes = 12219392ull * 2048;

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    ssize_t n = write(fd, text.data(), text.size());
    int saved = errno;
    close(fd);
    if (n != static_cast<ssize_t>(text.size())) {
        error = "writing \"" + text + "\" to " + path + ": " +
                (n < 0 ? std::strerror(saved) : "short write");
        return false;
    }
    return true;
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The uio node whose name is the backstore's: "tcm-user/<hba>/<dev>/<config>".
std::string FindUio(const std::string& wanted) {
    DIR* dir = opendir("/sys/class/uio");
    if (dir == nullptr)
        return "";
    std::string found;
    while (dirent* e = readdir(dir)) {
        std::string node = e->d_name;
        if (node.rfind("uio", 0) == 0 && ReadLine("/sys/class/uio/" + node + "/name") == wanted) {
            found = node;
            break;
        }
    }
    closedir(dir);
    return found;
}

}  // namespace

TTarget::TTarget(std::string configfs) : target_(std::move(configfs) + "/target") {}

TTarget::~TTarget() {
    Unlink();
    RemoveBackstores();
}

bool TTarget::MakeDirectory(const std::string& path, std::vector<std::string>& made,
                            std::string& error) {
    if (mkdir(path.c_str(), 0755) == 0) {
        made.push_back(path);
        return true;
    }
    if (errno == EEXIST)
        return true;
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
}

bool TTarget::AddBackstore(const std::string& name, unsigned timeOutSeconds, std::string& uio,
                           size_t& mapSize, std::string& error) {
    const std::string hba = target_ + "/" + kHba;
    const std::string dev = hba + "/" + name;
    struct stat st {};
    if (stat(dev.c_str(), &st) == 0) {
        error = dev + " exists already (is another handler running?)";
        return false;
    }
    if (!MakeDirectory(hba, backstore_, error) || !MakeDirectory(dev, backstore_, error))
        return false;
    const std::string config = "tessor/" + name;
    std::ostringstream control;
    control << "dev_config=" << config << ",dev_size=" << kDeviceBytes << ",hw_block_size=2048";
    if (!WriteText(dev + "/control", control.str(), error) ||
        !WriteText(dev + "/attrib/cmd_time_out", std::to_string(timeOutSeconds), error) ||
        !WriteText(dev + "/enable", "1", error)) {
        return false;
    }
    const std::string hbaIndex = std::string(kHba).substr(std::string(kHba).rfind('_') + 1);
    const std::string wanted = "tcm-user/" + hbaIndex + "/" + name + "/" + config;
    for (int tries = 0; tries < 100; ++tries) {
        uio = FindUio(wanted);
        if (!uio.empty() && access(("/dev/" + uio).c_str(), F_OK) == 0)
            break;
        usleep(10000);
    }
    if (uio.empty() || access(("/dev/" + uio).c_str(), F_OK) != 0) {
        error = "no uio node named " + wanted + " appeared";
        return false;
    }
    const std::string size = ReadLine("/sys/class/uio/" + uio + "/maps/map0/size");
    mapSize = static_cast<size_t>(std::strtoull(size.c_str(), nullptr, 0));
    if (mapSize == 0) {
        error = "no mapping size for " + uio;
        return false;
    }
    return true;
}

bool TTarget::Link(const std::string& name, unsigned lun, std::string& error) {
    const std::string wwn = target_ + "/loopback/" + kTargetWwn;
    const std::string tpg = wwn + "/tpgt_1";
    if (loopback_.empty()) {
        if (!MakeDirectory(target_ + "/loopback", loopback_, error) ||
            !MakeDirectory(wwn, loopback_, error) || !MakeDirectory(tpg, loopback_, error)) {
            return false;
        }
        // The initiator side of the link, before any LUN, as the fabric wants.
        if (!WriteText(tpg + "/nexus", kInitiatorWwn, error))
            return false;
    }
    const std::string lunDir = tpg + "/lun/lun_" + std::to_string(lun);
    if (!MakeDirectory(lunDir, loopback_, error))
        return false;
    const std::string link = lunDir + "/" + name;
    if (symlink((target_ + "/" + kHba + "/" + name).c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + ": " + std::strerror(errno);
        return false;
    }
    loopback_.push_back(link);
    return true;
}

void TTarget::Unlink() {
    // Links go with unlink, configfs groups with rmdir; newest first.
    for (auto it = loopback_.rbegin(); it != loopback_.rend(); ++it) {
        if (unlink(it->c_str()) != 0)
            rmdir(it->c_str());
    }
    loopback_.clear();
}

void TTarget::RemoveBackstores() {
    for (auto it = backstore_.rbegin(); it != backstore_.rend(); ++it)
        rmdir(it->c_str());
    backstore_.clear();
}

}  // namespace tessor::vdrive::tcmu
