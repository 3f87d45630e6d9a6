// One message as one JSON line (no line feed): {"event":name,"code":n,"view":v,...} for an
// event, {"command":name,...} for a command, with the payload's items by their layout names;
// a "*" list becomes an array. A code outside the tables gives name "unknown" and "size".
#pragma once

#include <string>

#include "channel/ipc_message.h"

std::string EventToJson(const IPC::Message& message);
std::string CommandToJson(const IPC::Message& message);
