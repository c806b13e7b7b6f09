#pragma once

#include <functional>
#include <string>

namespace svglogger {

// Who a box is to its broker, and where it keeps what must outlive a run.
namespace site {

// The state folder: $STATE_DIRECTORY as systemd's StateDirectory= sets it (the first of a
// list), else $XDG_STATE_HOME/svg-logger, else <home>/.local/state/svg-logger. `variable`
// reads the environment (empty: unset).
std::string stateFolder(const std::function<std::string(const char *)> &variable, const std::string &home);

// The machine's identity: /etc/machine-id, else D-Bus's copy, else a random one made once and
// kept in the state folder (a container without either); empty when none can be had.
std::string machineId(const std::string &stateFolder);

// "svg-logger-" and 12 hex digits of SHA-256 over the machine id and the topic prefix: the
// same at every start, different for two boxes and for two instances on one box. Never the
// machine id itself, which is not to leave the box.
std::string clientId(const std::string &machineId, const std::string &topicPrefix);

// A client id as a file name: what is not a letter, digit, '-', '_' or '.' becomes '_'.
std::string folderName(const std::string &clientId);

} // namespace site

} // namespace svglogger
