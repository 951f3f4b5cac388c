#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/byte_stream.h"

namespace dravlopro::platform {

// The default address: only this computer can connect.
constexpr char kLoopbackAddress[] = "127.0.0.1";

// A TCP listener on this IPv4 address (dotted, or "localhost") and port; 0
// takes any free port, which where() then names. Null with the system's
// reason in `problem` when it cannot listen there (the port is taken, the
// address is not this computer's).
std::unique_ptr<StreamListener> ListenTcp(const std::string& address, std::uint16_t port,
                                          std::string& problem);

// A connection to a TCP listener (for a client, as the tests are); null with
// the system's reason in `problem` when it cannot be made.
std::unique_ptr<ByteStream> ConnectTcp(const std::string& address, std::uint16_t port,
                                       std::string& problem);

// From now on Ctrl-C and a request to end the process (SIGTERM, a console
// close) only set a flag that StopRequested() reads, so that a server can
// end its work and save what it must.
void CatchStopRequests();
bool StopRequested();

}  // namespace dravlopro::platform
