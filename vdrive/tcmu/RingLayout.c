#include "vdrive/tcmu/RingLayout.h"

#include <linux/target_core_user.h>

const struct TTcmuLayout kTcmuLayout = {
    .version = TCMU_MAILBOX_VERSION,
    .mailboxSize = sizeof(struct tcmu_mailbox),
    .versionAt = offsetof(struct tcmu_mailbox, version),
    .cmdrOffAt = offsetof(struct tcmu_mailbox, cmdr_off),
    .cmdrSizeAt = offsetof(struct tcmu_mailbox, cmdr_size),
    .headAt = offsetof(struct tcmu_mailbox, cmd_head),
    .tailAt = offsetof(struct tcmu_mailbox, cmd_tail),
    .entrySize = sizeof(struct tcmu_cmd_entry),
    .lenOpAt = offsetof(struct tcmu_cmd_entry, hdr.len_op),
    .uflagsAt = offsetof(struct tcmu_cmd_entry, hdr.uflags),
    .iovCntAt = offsetof(struct tcmu_cmd_entry, req.iov_cnt),
    .cdbOffAt = offsetof(struct tcmu_cmd_entry, req.cdb_off),
    .iovAt = offsetof(struct tcmu_cmd_entry, req.iov),
    .iovSize = sizeof(struct iovec),
    .statusAt = offsetof(struct tcmu_cmd_entry, rsp.scsi_status),
    .readLenAt = offsetof(struct tcmu_cmd_entry, rsp.read_len),
    .senseAt = offsetof(struct tcmu_cmd_entry, rsp.sense_buffer),
    .senseSize = TCMU_SENSE_BUFFERSIZE,
    .opMask = TCMU_OP_MASK,
    .opPad = TCMU_OP_PAD,
    .opCmd = TCMU_OP_CMD,
    .opTmr = TCMU_OP_TMR,
    .flagUnknownOp = TCMU_UFLAG_UNKNOWN_OP,
    .flagReadLen = TCMU_UFLAG_READ_LEN,
};
