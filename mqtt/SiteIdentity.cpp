#include "mqtt/SiteIdentity.h"

#include <QCryptographicHash>
#include <QUuid>

#include <cctype>
#include <filesystem>
#include <fstream>

namespace svglogger::site {

namespace {

std::string firstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

} // namespace

std::string stateFolder(const std::function<std::string(const char *)> &variable, const std::string &home)
{
    if (std::string state = variable("STATE_DIRECTORY"); !state.empty())
        return state.substr(0, state.find(':'));
    if (const std::string xdg = variable("XDG_STATE_HOME"); !xdg.empty() && xdg.front() == '/')
        return xdg + "/svg-logger";
    return home + (home.ends_with('/') ? "" : "/") + ".local/state/svg-logger";
}

std::string machineId(const std::string &stateFolder)
{
    for (const char *path : {"/etc/machine-id", "/var/lib/dbus/machine-id"})
        if (std::string id = firstLine(path); id.size() >= 16)
            return id;
    const std::string kept = stateFolder + "/machine-id";
    if (std::string id = firstLine(kept); id.size() >= 16)
        return id;
    std::error_code error;
    std::filesystem::create_directories(stateFolder, error);
    const std::string made = QUuid::createUuid().toString(QUuid::Id128).toStdString();
    std::ofstream out(kept);
    out << made << '\n';
    return out.flush() ? made : std::string();
}

std::string clientId(const std::string &machineId, const std::string &topicPrefix)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView("svg-logger client id\n"));
    hash.addData(QByteArrayView(machineId.data(), static_cast<qsizetype>(machineId.size())));
    hash.addData(QByteArrayView("\n"));
    hash.addData(QByteArrayView(topicPrefix.data(), static_cast<qsizetype>(topicPrefix.size())));
    return "svg-logger-" + hash.result().toHex().left(12).toStdString();
}

std::string folderName(const std::string &clientId)
{
    std::string name = clientId;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name = "_" + name;
    return name;
}

} // namespace svglogger::site
