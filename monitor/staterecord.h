#pragma once
// The hub's whole state in 12 bytes: for couple j (0..3, A..D) byte 3j holds the
// beams of its first barrier, 3j+1 those of its second, 3j+2 its CoupleStatus.
// Bit n of a beam byte is beam n+1.
#include <array>
#include <cstdint>

namespace hub {

using StateRecord = std::array<std::uint8_t, 12>;

namespace CoupleStatus {
constexpr std::uint8_t Blind = 0x01;       // which barrier: see Standby
constexpr std::uint8_t Alarm = 0x02;       // both barriers
constexpr std::uint8_t DisqSecond = 0x04;
constexpr std::uint8_t DisqFirst = 0x08;
constexpr std::uint8_t Failure = 0x10;     // both barriers
constexpr std::uint8_t TamperSecond = 0x20;
constexpr std::uint8_t TamperFirst = 0x40;
constexpr std::uint8_t Standby = 0x80;     // with Blind: selects the first barrier
} // namespace CoupleStatus

// Settings blocks as the hub sends them and the recordings keep them.
constexpr int kSwBlockSize = 9;
constexpr int kTcBlockReceived = 64;
constexpr int kTcBlockSize = 70;
constexpr std::uint8_t kHubKindSw = 0x40;
constexpr std::uint8_t kHubKindTest = 0x80;

inline bool isSwHub(std::uint8_t hubKind) { return (hubKind & kHubKindSw) != 0; }
inline int settingsBlockSize(std::uint8_t hubKind) {
    return isSwHub(hubKind) ? kSwBlockSize : kTcBlockSize;
}

} // namespace hub
