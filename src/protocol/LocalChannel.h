#pragma once

#include "platform/Net.h"

#include <string>

// The Unix-socket half of the channels. Linux has it; on Windows every call
// fails, and no address of that kind is ever made there.
namespace protocol::local_channel {

// The folder the runtime folder or the state folder gives, without "tessel".
std::string baseFolder();
platform::net::SocketHandle openSocket();
bool bind(platform::net::SocketHandle socket, const std::string &path, std::string &error);
void removeFile(const std::string &path);
bool connect(platform::net::SocketHandle socket, const std::string &path);
bool peerIsOurs(platform::net::SocketHandle socket, std::string &why);

} // namespace protocol::local_channel
