// The fixed commands that the service writes to the scanner, as data, and the pause used
// by SendCommand (replaceable so that tests can count the acknowledgement looks).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qds::OPOS {

// Device type 3 command frame: 7E 00 00 04, four ASCII digits, then the complement of the
// XOR of bytes 1 to 7.
constexpr size_t kFrameSize = 9;
using CommandFrame = uint8_t[kFrameSize];

inline constexpr CommandFrame kFrameClaim = {0x7E, 0x00, 0x00, 0x04, '1', '3', '3', '1', 0xFB};
inline constexpr CommandFrame kFrameRelease = {0x7E, 0x00, 0x00, 0x04, '1', '3', '3', '0', 0xFA};
inline constexpr CommandFrame kFrameScanEnable = {0x7E, 0x00, 0x00, 0x04, '1', '3', '2', '1', 0xFA};
inline constexpr CommandFrame kFrameScanDisable = {0x7E, 0x00, 0x00, 0x04, '1',
                                                   '3',  '2',  '0',  0xFB};

// Text commands (written without their NUL).
inline constexpr char kCmdType2Enable[] = "";
inline constexpr char kCmdType2Disable[] = "#99900102;";
inline constexpr char kCmdType1CodeIdOn[] = "QDS0307010";
inline constexpr char kCmdType1CodeIdOff[] = "QDS0307000";
inline constexpr char kCmdType24CodeIdOn[] = "#99904041;";
inline constexpr char kCmdType24CodeIdOff[] = "#99904040;";

// Serial markers around a command (communication type 1 only).
inline constexpr char kStartMarker[] = "$$$$";
inline constexpr char kEndMarker[] = "%%%%";
constexpr size_t kMarkerSize = 4;

constexpr int32_t kCommandAckWaitMs = 600;  // wait of the frames and the type 1 Code ID
constexpr int32_t kWriteTimeoutMs = 100;    // time-out argument of every tvx_write
constexpr uint32_t kMarkerPauseMs = 20;     // pause between a marker and the command
constexpr uint32_t kAckStepMs = 10;         // one step of the acknowledgement wait

// Replaces the sleep of SendCommand (null: the real one). Test seam only.
using CommandSleep = void (*)(uint32_t ms);
void SetCommandSleep(CommandSleep sleep);

}  // namespace qds::OPOS
