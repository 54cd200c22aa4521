/* Where the fields of the TCMU mailbox and command entries lie, and the
   constants of the ring protocol. They come from the kernel's uapi header
   linux/target_core_user.h, read by a C unit: the header's inline helpers are
   not valid C++, and its struct iovec clashes with the C library's. */
#ifndef TESSOR_VDRIVE_TCMU_RING_LAYOUT_H
#define TESSOR_VDRIVE_TCMU_RING_LAYOUT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct TTcmuLayout {
    /* mailbox */
    unsigned version; /* the mailbox version this layout describes */
    size_t mailboxSize, versionAt, cmdrOffAt, cmdrSizeAt, headAt, tailAt;
    /* command entry: header, request, reply */
    size_t entrySize, lenOpAt, uflagsAt, iovCntAt, cdbOffAt, iovAt, iovSize;
    size_t statusAt, readLenAt, senseAt, senseSize;
    unsigned opMask, opPad, opCmd, opTmr;
    unsigned flagUnknownOp, flagReadLen;
};

extern const struct TTcmuLayout kTcmuLayout;

#ifdef __cplusplus
}
#endif

#endif
