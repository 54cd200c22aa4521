/* The ASPI interface: the request blocks and the two entry points of an ASPI
 * library. Shared by the engine's ASPI transport and the virtual recorder
 * (vdrive/), which is such a library. C-compatible on purpose.
 *
 * Field order is ASPI's. On a 64-bit build the buffer pointer and the
 * completion handle are 8 bytes wide and the blocks stay packed, so the
 * execute request grows from 96 to 104 bytes; tests pin every offset.
 *
 * The completion event kept in the handle field is a Win32 event HANDLE on
 * Windows, which a library that returns SS_PENDING sets (SetEvent) once the
 * request has completed; on Linux it is an eventfd descriptor, to which the
 * library writes a non-zero 8-byte count instead.
 */
#ifndef TESSOR_WNASPI32_H
#define TESSOR_WNASPI32_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Request kinds (SRB_Cmd). */
#define SC_HA_INQUIRY 0x00
#define SC_GET_DEV_TYPE 0x01
#define SC_EXEC_SCSI_CMD 0x02
#define SC_GET_DISK_INFO 0x06

/* Request status (SRB_Status). */
#define SS_PENDING 0x00
#define SS_COMP 0x01
#define SS_ABORTED 0x02
#define SS_ERR 0x04
#define SS_INVALID_CMD 0x80
#define SS_INVALID_HA 0x81
#define SS_NO_DEVICE 0x82

/* Request flags (SRB_Flags). */
#define SRB_DIR_IN 0x08
#define SRB_DIR_OUT 0x10
#define SRB_EVENT_NOTIFY 0x40

/* Target status. */
#define STATUS_GOOD 0x00
#define STATUS_CHKCOND 0x02
#define STATUS_BUSY 0x08

#define SENSE_LEN 24
#define ASPI_SENSE_AREA 32

#pragma pack(push, 1)

/* Execute SCSI command (SC_EXEC_SCSI_CMD). */
typedef struct {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint8_t* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    intptr_t SRB_PostProc; /* completion event: an eventfd, or 0 */
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[ASPI_SENSE_AREA];
} SRB_ExecSCSICmd;

/* Host adapter inquiry (SC_HA_INQUIRY), 60 bytes. */
typedef struct {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    uint8_t HA_ManagerId[16];
    uint8_t HA_Identifier[16];
    uint8_t HA_Unique[16];
    uint16_t HA_Rsvd1;
} SRB_HAInquiry;

/* Get disk information (SC_GET_DISK_INFO), 24 bytes. */
typedef struct {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DriveFlags;
    uint8_t SRB_Int13HDriveInfo; /* the drive number */
    uint8_t SRB_Heads;
    uint8_t SRB_Sectors;
    uint8_t SRB_Rsvd1[10];
} SRB_GetDiskInfo;

#pragma pack(pop)

/* Entry points. GetASPI32SupportInfo: 0 = unusable; otherwise byte 1 holds
 * SS_COMP and byte 0 the number of host adapters. SendASPI32Command: the low
 * byte of the result is the request status (SS_PENDING: completes later and
 * signals the completion event). */
typedef uint32_t (*TGetASPI32SupportInfo)(void);
typedef uint32_t (*TSendASPI32Command)(void* srb);

uint32_t GetASPI32SupportInfo(void);
uint32_t SendASPI32Command(void* srb);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(SRB_ExecSCSICmd) == (sizeof(void*) == 8 ? 104 : 96), "execute request size");
static_assert(sizeof(SRB_HAInquiry) == 60, "adapter inquiry size");
static_assert(sizeof(SRB_GetDiskInfo) == 24, "disk information size");
#endif

#endif
