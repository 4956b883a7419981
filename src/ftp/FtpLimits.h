#pragma once

// How long an FTP operation may wait before it is given up, so that a dead
// or silent server never hangs a generation.
namespace ftp_limits {

// Establishing the control connection (TCP and, later, TLS).
inline constexpr long kConnectTimeoutSeconds = 30;

// A command reply, or a transfer that moves no byte, for this long fails
// the operation.
inline constexpr long kStallTimeoutSeconds = 60;

}  // namespace ftp_limits
