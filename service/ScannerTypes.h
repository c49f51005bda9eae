// The named values of the Scanner service: device and communication types, State, result
// codes, acknowledgement values, property indexes and the layout of a scan record. Every
// source and test of Kolvex uses these names instead of the numbers.
//
// The Java side cannot include this header; its constants carry the same names and values:
// ScannerSession (COMM_*, DEV_TYPE*), ScannerProperty (OPOS_S_*, PIDX_*) and ResultCode
// (OPOS_*) in java-api/. A change here is a change there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qds::OPOS {

// Device types given to Open: they choose how received bytes are framed and which commands
// the service writes. Any other number is accepted by Open and handled like type 1 where a
// choice must be made.
enum DevType : int32_t {
    DEV_TYPE1 = 1,  // text scans with a Code ID prefix letter; "QDS" commands; add-on output
    DEV_TYPE2 = 2,  // text scans and "!...;" replies; setup mode; serial start and end markers
    DEV_TYPE3 = 3,  // binary packets 04 FF / 04 FE, ACK and NAK; claim, release and scan frames
    DEV_TYPE4 = 4,  // text as type 2; only Code ID commands, serial end marker only
};

// Communication types given to Open: the framework transport that ClaimDevice opens.
enum CommuType : int32_t {
    COMM_COM1 = 0,    // Open records serial port 1; ClaimDevice refuses it (no transport)
    COMM_SERIAL = 1,  // framework "COM" on the port given to Open
    COMM_UDP = 2,     // framework "udp" (logged as "USB" by Open)
    COMM_HID = 3,     // framework "HID" (USB HID-POS through the plug-in)
};

// Values of the State property.
enum : int32_t {
    OPOS_S_CLOSED = 1,  // not opened
    OPOS_S_IDLE = 2,    // opened
    OPOS_S_BUSY = 3,    // inside SetDeviceEnabled, while its command is sent
};

// Values of the PowerState property (power reporting is not supported).
enum : int32_t {
    OPOS_PS_UNKNOWN = 2000,  // the only value the service reports
};

// OPOS result codes used by the service.
enum : int32_t {
    OPOS_SUCCESS = 0,         // done
    OPOS_E_CLOSED = 101,      // not opened
    OPOS_E_NOTCLAIMED = 103,  // not claimed
    OPOS_E_ILLEGAL = 106,     // opened twice, or the framework could not open the channel
    OPOS_E_NOEXIST = 109,     // serial port 0, or a communication type with no transport
    OPOS_E_FAILURE = 111,     // the device refused the claim (or an exception at the JNI edge)
    OPOS_E_TIMEOUT = 112,     // the device did not acknowledge the claim in time
};

// SendCommand results.
enum : int32_t {
    SEND_OK = 0,              // written; acknowledged, or no wait asked for
    SEND_NOT_CLAIMED = -1,    // nothing written: not claimed
    SEND_NEGATIVE_WAIT = -2,  // written; a negative wait is not waited
    SEND_NO_ACK = -3,         // written; no acknowledgement within the wait
    SEND_NAK = -4,            // written; the device answered NAK (device type 3)
};

// Values of m_bAckReceived, set by the receive path and read by SendCommand's wait.
enum : int32_t {
    ACK_NONE = 0,      // nothing since the last command
    ACK_RECEIVED = 1,  // a reply that counts as an acknowledgement for the device type
    ACK_NAK = 2,       // device type 3 refused the command
};

// Property index numbers.
enum : int32_t {
    PIDX_Claimed = 1,
    PIDX_DataEventEnabled = 2,
    PIDX_DeviceEnabled = 3,
    PIDX_FreezeEvents = 4,
    PIDX_OutputID = 5,
    PIDX_ResultCode = 6,
    PIDX_ResultCodeExtended = 7,
    PIDX_ServiceObjectVersion = 8,
    PIDX_State = 9,
    PIDX_AutoDisable = 10,
    PIDX_BinaryConversion = 11,
    PIDX_DataCount = 12,
    PIDX_PowerNotify = 13,
    PIDX_PowerState = 14,
    PIDX_CapPowerReporting = 501,
    PIDXScan_DecodeData = 10001,
    PIDXScan_ScanDataType = 10002,
    PIDX_CheckHealthText = 1000001,
    PIDX_DeviceDescription = 1000002,
    PIDX_DeviceName = 1000003,
    PIDX_ServiceObjectDescription = 1000004,
    PIDXScan_ScanData = 1010001,
    PIDXScan_ScanDataLabel = 1010002,
};

// The scan record: what the receive path queues and the decoding reads back.
// Device types 1, 2 and 4: the received text as it is, its first byte the Code ID prefix.
// Device type 3: a marker naming the packet version, then the packet's bytes:
//   RECORD_V1: marker, code identifier, label.
//   RECORD_V2: marker, the packet's payload (code identifier, one kept byte, three bytes
//              not kept, label).
enum : char {
    RECORD_V1 = 0x01,  // from a 04 FF packet
    RECORD_V2 = 0x02,  // from a 04 FE packet
};
// Device types 1, 2 and 4: stands in front of a text scan received while the device's Code ID
// prefix is off, where the prefix would be. Identifies no symbology.
constexpr char RECORD_NO_CODE_ID = 0x00;
constexpr size_t kRecordCodeIdAt = 1;   // device type 3: the code identifier
constexpr size_t kRecordV1LabelAt = 2;  // RECORD_V1: the label
constexpr size_t kRecordV2KeptAt = 2;   // RECORD_V2: the byte ScanData starts with
constexpr size_t kRecordV2LabelAt = 6;  // RECORD_V2: the label

}  // namespace qds::OPOS
