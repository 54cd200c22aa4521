// The MMC and SPC vocabulary the engine speaks: the operation codes it
// sends, the values it puts into command blocks and the write parameters
// page, the profiles and features it reads, and the sense it acts on.
// MMC-5 names them, SPC-3 the primary commands and the sense data; each
// value is listed under the command or page that carries it.
#pragma once

#include <cstdint>

namespace tessor::drive {

// ---- Operation codes
constexpr uint8_t OP_TEST_UNIT_READY = 0x00;
constexpr uint8_t OP_REZERO_UNIT = 0x01;
constexpr uint8_t OP_REQUEST_SENSE = 0x03;
constexpr uint8_t OP_FORMAT_UNIT = 0x04;
constexpr uint8_t OP_INQUIRY = 0x12;
constexpr uint8_t OP_START_STOP_UNIT = 0x1B;
constexpr uint8_t OP_PREVENT_ALLOW_MEDIUM_REMOVAL = 0x1E;
constexpr uint8_t OP_READ_FORMAT_CAPACITIES = 0x23;
constexpr uint8_t OP_READ_10 = 0x28;
constexpr uint8_t OP_WRITE_10 = 0x2A;
constexpr uint8_t OP_SYNCHRONIZE_CACHE = 0x35;
constexpr uint8_t OP_READ_TOC_PMA_ATIP = 0x43;
constexpr uint8_t OP_GET_CONFIGURATION = 0x46;
constexpr uint8_t OP_READ_DISC_INFORMATION = 0x51;
constexpr uint8_t OP_READ_TRACK_INFORMATION = 0x52;
constexpr uint8_t OP_RESERVE_TRACK = 0x53;
constexpr uint8_t OP_MODE_SELECT_10 = 0x55;
constexpr uint8_t OP_MODE_SENSE_10 = 0x5A;
constexpr uint8_t OP_CLOSE_TRACK_SESSION = 0x5B;
constexpr uint8_t OP_READ_BUFFER_CAPACITY = 0x5C;
constexpr uint8_t OP_BLANK = 0xA1;
constexpr uint8_t OP_SET_STREAMING = 0xB6;
constexpr uint8_t OP_SET_CD_SPEED = 0xBB;
constexpr uint8_t OP_SEND_DVD_STRUCTURE = 0xBF;

// ---- Command block fields
// The immediate bit, in byte 1: the drive answers at once and works on in
// the background.
constexpr uint8_t CLOSE_IMMED = 0x01;
constexpr uint8_t BLANK_IMMED = 0x10;
constexpr uint8_t SYNC_CACHE_IMMED = 0x02;
constexpr uint8_t START_STOP_IMMED = 0x01;
// START STOP UNIT byte 4, LoEj and Start: load or eject.
constexpr uint8_t START_STOP_LOAD = 0x03;
constexpr uint8_t START_STOP_EJECT = 0x02;
// PREVENT ALLOW MEDIUM REMOVAL byte 4.
constexpr uint8_t PREVENT_REMOVAL = 0x01;
constexpr uint8_t ALLOW_REMOVAL = 0x00;
// BLANK blanking types: the whole disc, or only what makes it blank.
constexpr uint8_t BLANK_FULL = 0x00;
constexpr uint8_t BLANK_MINIMAL = 0x01;
// GET CONFIGURATION RT: the header and the one feature named.
constexpr uint8_t RT_ONE_FEATURE = 0x02;
// READ TRACK INFORMATION address type: the address is a track number;
// FFh names the invisible (next writable) track.
constexpr uint8_t TRACK_INFO_BY_TRACK = 0x01;
constexpr uint8_t INVISIBLE_TRACK = 0xFF;
// READ TOC/PMA/ATIP format and MSF bit.
constexpr uint8_t TOC_FORMAT_ATIP = 0x04;
constexpr uint8_t TOC_MSF = 0x02;
// MODE SENSE (10) page control "default values"; MODE SELECT (10) page
// format bit.
constexpr uint8_t MODE_SENSE_DEFAULTS = 0x80;
constexpr uint8_t MODE_SELECT_PF = 0x10;
// SET CD SPEED: rotational control 01b (pure CAV) in byte 1, and the speed
// that asks for the drive's fastest.
constexpr uint8_t CD_SPEED_PURE_CAV = 0x01;
constexpr uint16_t CD_SPEED_MAX = 0xFFFF;
// SEND DVD STRUCTURE format 0Fh: the recording time stamp.
constexpr uint8_t DVD_STRUCTURE_TIME_STAMP = 0x0F;
// FORMAT UNIT byte 1: FmtData set, format code 001b.
constexpr uint8_t FORMAT_DATA_FOLLOWS = 0x11;

// ---- CLOSE TRACK/SESSION close functions
constexpr uint8_t CLOSE_TRACK = 0x01;    // 001b: track, RZone (DVD-R), fragment (DVD+R)
constexpr uint8_t CLOSE_SESSION = 0x02;  // 010b: session, border (DVD-R); +RW: stop format
// 011b, DVD+RW only: ends the background format.
constexpr uint8_t CLOSE_PLUS_RW_FORMAT = 0x03;
constexpr uint8_t CLOSE_FINALIZE = 0x06;  // 110b: finalize DVD+R (DL), BD-R

// ---- Mode pages
constexpr uint8_t PAGE_WRITE_PARAMETERS = 0x05;
constexpr uint8_t PAGE_CAPABILITIES = 0x2A;  // MM capabilities and mechanical status
constexpr uint8_t PAGE_CODE_MASK = 0x3F;     // PS and SPF sit above the page code

// ---- Write parameters page
// Byte 2: BUFE, LS_V and Test Write above the write type.
constexpr uint8_t WP_BUFE = 0x40;
constexpr uint8_t WP_LS_V = 0x20;
constexpr uint8_t WP_TEST_WRITE = 0x10;
// Write types (byte 2, bits 3-0).
constexpr uint8_t WRITE_TYPE_INCREMENTAL = 0;  // packet / incremental
constexpr uint8_t WRITE_TYPE_TAO = 1;          // track at once
constexpr uint8_t WRITE_TYPE_SAO = 2;          // session at once (DVD: disc at once)
// Byte 3: multi-session (bits 7-6), FP (bit 5), track mode (bits 3-0).
constexpr uint8_t WP_MULTI_SESSION_NEXT = 0xC0;  // 11b: a next session is allowed
constexpr uint8_t WP_FIXED_PACKET = 0x20;
// Track modes: the control nibble of the track's Q sub-channel.
constexpr uint8_t TRACK_MODE_DATA = 4;              // data, recorded uninterrupted
constexpr uint8_t TRACK_MODE_DATA_INCREMENTAL = 5;  // data, recorded incrementally
// Data block type (byte 4): mode 1, 2048 bytes of user data.
constexpr uint8_t DATA_BLOCK_MODE_1 = 8;
// Session format (byte 8): CD-DA or CD-ROM.
constexpr uint8_t SESSION_FORMAT_CD_ROM = 0x00;

// ---- READ DISC INFORMATION, standard disc information (6.22.3.1)
// Byte 2: erasable (bit 4), state of the last session (bits 3-2), disc
// status (bits 1-0).
constexpr uint8_t DISC_ERASABLE = 0x10;
constexpr uint8_t LAST_SESSION_STATE_MASK = 0x0C;  // 00b: empty
constexpr uint8_t DISC_STATUS_MASK = 0x03;
constexpr uint8_t DISC_STATUS_BLANK = 0;
constexpr uint8_t DISC_STATUS_APPENDABLE = 1;
constexpr uint8_t DISC_STATUS_COMPLETE = 2;

// ---- Profiles: the current profile, GET CONFIGURATION header bytes 6-7
// (6.6.2.1).
constexpr uint16_t PROFILE_NONE = 0x0000;
constexpr uint16_t PROFILE_CD_ROM = 0x0008;
constexpr uint16_t PROFILE_CD_R = 0x0009;
constexpr uint16_t PROFILE_CD_RW = 0x000A;
constexpr uint16_t PROFILE_DVD_ROM = 0x0010;
constexpr uint16_t PROFILE_DVD_R = 0x0011;
constexpr uint16_t PROFILE_DVD_RAM = 0x0012;
constexpr uint16_t PROFILE_DVD_RW_RO = 0x0013;
constexpr uint16_t PROFILE_DVD_RW_SEQ = 0x0014;
constexpr uint16_t PROFILE_DVD_PLUS_RW = 0x001A;
constexpr uint16_t PROFILE_DVD_PLUS_R = 0x001B;
constexpr uint16_t PROFILE_DDCD_ROM = 0x0020;
constexpr uint16_t PROFILE_DDCD_R = 0x0021;
constexpr uint16_t PROFILE_DDCD_RW = 0x0022;
constexpr uint16_t PROFILE_DVD_PLUS_R_DL = 0x002B;
constexpr uint16_t PROFILE_BD_ROM = 0x0040;
constexpr uint16_t PROFILE_BD_R_SRM = 0x0041;
constexpr uint16_t PROFILE_BD_R_RRM = 0x0042;
constexpr uint16_t PROFILE_BD_RE = 0x0043;
constexpr uint16_t PROFILE_HD_DVD_ROM = 0x0050;
constexpr uint16_t PROFILE_HD_DVD_R = 0x0051;
constexpr uint16_t PROFILE_HD_DVD_RAM = 0x0052;

// ---- Features: the engine asks only for the profile list, whose reply
// header carries the current profile.
constexpr uint16_t FEATURE_PROFILE_LIST = 0x0000;

// ---- Sense data
// Response codes of fixed-format and descriptor-format sense, current and
// deferred, without the valid bit (80h).
constexpr uint8_t SENSE_FIXED_CURRENT = 0x70;
constexpr uint8_t SENSE_FIXED_DEFERRED = 0x71;
constexpr uint8_t SENSE_DESCRIPTOR_CURRENT = 0x72;
constexpr uint8_t SENSE_DESCRIPTOR_DEFERRED = 0x73;

// Sense keys (fixed-format byte 2, bits 3-0).
constexpr uint8_t SENSE_KEY_NO_SENSE = 0x0;
constexpr uint8_t SENSE_KEY_RECOVERED_ERROR = 0x1;
constexpr uint8_t SENSE_KEY_NOT_READY = 0x2;
constexpr uint8_t SENSE_KEY_MEDIUM_ERROR = 0x3;
constexpr uint8_t SENSE_KEY_HARDWARE_ERROR = 0x4;
constexpr uint8_t SENSE_KEY_ILLEGAL_REQUEST = 0x5;
constexpr uint8_t SENSE_KEY_UNIT_ATTENTION = 0x6;
constexpr uint8_t SENSE_KEY_DATA_PROTECT = 0x7;

// Additional sense codes the engine reacts to.
constexpr uint8_t ASC_NO_ADDITIONAL_SENSE = 0x00;
constexpr uint8_t ASC_NOT_READY = 0x04;  // logical unit not ready (ASCQ says why)
constexpr uint8_t ASC_WRITE_ERROR = 0x0C;
constexpr uint8_t ASC_RECORDED_ENTITY_NOT_FOUND = 0x14;
constexpr uint8_t ASC_INVALID_OPCODE = 0x20;
constexpr uint8_t ASC_LBA_OUT_OF_RANGE = 0x21;
constexpr uint8_t ASC_INVALID_FIELD_IN_CDB = 0x24;
constexpr uint8_t ASC_INVALID_FIELD_IN_PARAMETERS = 0x26;
constexpr uint8_t ASC_WRITE_PROTECTED = 0x27;
constexpr uint8_t ASC_MEDIUM_CHANGED = 0x28;
constexpr uint8_t ASC_POWER_ON_RESET = 0x29;
constexpr uint8_t ASC_INCOMPATIBLE_MEDIUM = 0x30;
constexpr uint8_t ASC_NO_MEDIUM = 0x3A;
constexpr uint8_t ASC_REMOVAL_PREVENTED = 0x53;
constexpr uint8_t ASC_SESSION_FIXATION = 0x72;

// Qualifiers of ASC 04h: why the unit is not ready.
constexpr uint8_t ASCQ_CAUSE_UNKNOWN = 0x00;
constexpr uint8_t ASCQ_BECOMING_READY = 0x01;
constexpr uint8_t ASCQ_FORMAT_IN_PROGRESS = 0x04;
constexpr uint8_t ASCQ_OPERATION_IN_PROGRESS = 0x07;
constexpr uint8_t ASCQ_LONG_WRITE_IN_PROGRESS = 0x08;
// Qualifiers of ASC 21h and 30h.
constexpr uint8_t ASCQ_INVALID_WRITE_ADDRESS = 0x02;
constexpr uint8_t ASCQ_CANNOT_WRITE_INCOMPATIBLE_FORMAT = 0x05;

// LastSenseCode values (ASC * 256 + ASCQ).
constexpr uint16_t SenseCode(uint8_t asc, uint8_t ascq) {
    return uint16_t(asc << 8 | ascq);
}
constexpr uint16_t SC_NOT_READY_CAUSE_UNKNOWN = SenseCode(ASC_NOT_READY, ASCQ_CAUSE_UNKNOWN);
constexpr uint16_t SC_BECOMING_READY = SenseCode(ASC_NOT_READY, ASCQ_BECOMING_READY);
constexpr uint16_t SC_FORMAT_IN_PROGRESS = SenseCode(ASC_NOT_READY, ASCQ_FORMAT_IN_PROGRESS);
constexpr uint16_t SC_OPERATION_IN_PROGRESS = SenseCode(ASC_NOT_READY, ASCQ_OPERATION_IN_PROGRESS);
constexpr uint16_t SC_LONG_WRITE_IN_PROGRESS =
    SenseCode(ASC_NOT_READY, ASCQ_LONG_WRITE_IN_PROGRESS);
constexpr uint16_t SC_INVALID_WRITE_ADDRESS =
    SenseCode(ASC_LBA_OUT_OF_RANGE, ASCQ_INVALID_WRITE_ADDRESS);
constexpr uint16_t SC_INCOMPATIBLE_FORMAT =
    SenseCode(ASC_INCOMPATIBLE_MEDIUM, ASCQ_CANNOT_WRITE_INCOMPATIBLE_FORMAT);
constexpr uint16_t SC_NO_MEDIUM = SenseCode(ASC_NO_MEDIUM, 0x00);

}  // namespace tessor::drive
