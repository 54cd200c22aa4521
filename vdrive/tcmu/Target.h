// The kernel's SCSI target objects, made through configfs, that turn virtual
// drives into SCSI devices of this machine: per drive a TCMU backstore
// (target/core/user_0/NAME, served through a uio node), and one loopback
// (tcm_loop) target whose LUNs link to them. Linking a LUN makes the kernel
// scan it as an initiator would, so a CD/DVD device appears as /dev/srN and
// /dev/sgN. Everything made here is removed again, in reverse order.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tessor::vdrive::tcmu {

class TTarget {
public:
    explicit TTarget(std::string configfs = "/sys/kernel/config");
    ~TTarget();
    TTarget(const TTarget&) = delete;
    TTarget& operator=(const TTarget&) = delete;

    // Creates and enables backstore NAME with the given per-command time-out
    // (seconds; it can only be set before a LUN links the backstore). Gives
    // the uio node ("uio0") and the size of its mapping.
    bool AddBackstore(const std::string& name, unsigned timeOutSeconds, std::string& uio,
                      size_t& mapSize, std::string& error);
    // Links backstore NAME as LUN `lun` of the loopback target, made on first use.
    bool Link(const std::string& name, unsigned lun, std::string& error);
    // Takes the LUNs and the loopback target away: the SCSI devices leave.
    // Their backstores must still be served while this runs.
    void Unlink();
    // Removes the backstores, once nothing serves their rings any more.
    void RemoveBackstores();

private:
    bool MakeDirectory(const std::string& path, std::vector<std::string>& made, std::string& error);

    std::string target_;                  // <configfs>/target
    std::vector<std::string> backstore_;  // directories made for the backstores, in order
    std::vector<std::string> loopback_;   // directories and links made for the target
};

}  // namespace tessor::vdrive::tcmu
