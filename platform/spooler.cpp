#include "platform/spooler.h"

#include "platform/reference_monitor.h"
#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

namespace vnk::platform {
namespace {

constexpr std::string_view PrintKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print";

std::string environmentsKey() {
    return std::string(PrintKey) + "\\Environments";
}
std::string monitorsKey(std::string_view environment) {
    return environmentsKey() + "\\" + std::string(environment) + "\\Monitors";
}
std::string portsKey(std::string_view monitor) {
    return std::string(PrintKey) + "\\Monitors\\" + std::string(monitor) + "\\Ports";
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return s;
}

// A name that becomes one part of a key path: not empty, no backslash (it would
// split the key) and no control character (a line break would end the key line).
bool keyPart(std::string_view s) {
    return !s.empty() && std::none_of(s.begin(), s.end(), [](char c) {
        return c == '\\' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7F;
    });
}

bool sameName(std::string_view a, std::string_view b) {
    return upper(std::string(a)) == upper(std::string(b));
}

std::string stringValue(const RegistryHive& hive, const std::string& key, std::string_view name) {
    const RegistryValue* v = hive.value(key, name);
    const auto* s = v ? std::get_if<std::string>(v) : nullptr;
    return s ? *s : std::string();
}

// Every registration in the hive, in the order the environments and their
// monitors were first written.
std::vector<MonitorInfo2> registrations(const RegistryHive& hive) {
    std::vector<MonitorInfo2> found;
    for (const auto& environment : hive.subkeys(environmentsKey())) {
        const std::string key = monitorsKey(environment);
        for (const auto& name : hive.subkeys(key))
            found.push_back({name, environment, stringValue(hive, key + "\\" + name, "Driver")});
    }
    return found;
}

std::optional<MonitorInfo2> registration(const RegistryHive& hive, std::string_view name) {
    for (auto& m : registrations(hive)) {
        if (sameName(m.name, name))
            return std::move(m);
    }
    return std::nullopt;
}

// Why the spooler cannot keep its registrations in dir, or "" when it can.
std::string unusableDirectory(const std::string& dir) {
    if (dir.empty())
        return "is not set";
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return dir + " cannot be used: " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return dir + " is not a directory";
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return dir + " cannot be written: " + std::strerror(errno);
    return {};
}

std::string valueName(std::size_t queue) {
    return "Queue" + std::to_string(queue + 1);
}

} // namespace

Spooler::Spooler(std::string stateDir)
    : m_stateDir(stateDir.empty() ? platform::stateDirectory() : std::move(stateDir)) {
    setAddPortStep("KESTRAL.DLL", referenceMonitorAddPort);
    setAddPortStep("BRANWICK.DLL", referenceMonitorAddPort);
}

void Spooler::setAddPortStep(const std::string& dllName, AddPortStep step) {
    m_steps[upper(dllName)] = std::move(step);
}

bool Spooler::addMonitor(const MonitorInfo2& info) {
    m_error.clear();
    if (info.name.empty() || info.environment.empty() || info.dllName.empty()) {
        m_error = "a monitor needs a name, an environment and a library";
        return false;
    }
    if (!keyPart(info.name) || !keyPart(info.environment)) {
        m_error = "the monitor name and the environment cannot hold a backslash or a control character";
        return false;
    }
    if (m_stateDir.empty()) {
        m_error = "there is no state directory to keep the spooler's registrations in";
        return false;
    }
    // The check and the registration are one step under the hive's lock, so two
    // installers registering the same name at once cannot both succeed.
    bool registered = false;
    const bool written = updateRegistry(
        [&](RegistryHive& hive) {
            if (registration(hive, info.name)) {
                registered = true;
                return false;
            }
            return hive.setValue(monitorsKey(info.environment) + "\\" + info.name, "Driver", info.dllName);
        },
        m_stateDir);
    if (registered)
        m_error = "the monitor \"" + info.name + "\" is already registered";
    else if (!written)
        m_error = "cannot write the spooler's registrations to " + registryFilePath(m_stateDir);
    return written;
}

bool Spooler::addPort(const std::string& monitorName) {
    m_report.clear();
    m_error.clear();
    const auto fail = [&](std::string why) {
        m_error = std::move(why);
        m_report.push_back(m_error);
        return false;
    };
    // A registration that could not be written is no reason to look for one.
    if (const std::string why = unusableDirectory(m_stateDir); !why.empty())
        return fail("the state directory " + why + ": no monitor can be registered there, so no port is added");
    const auto hive = RegistryHive::load(registryFilePath(m_stateDir));
    if (!hive)
        return fail("cannot read the spooler's registrations");
    const auto monitor = registration(*hive, monitorName);
    if (!monitor)
        return fail("no monitor \"" + monitorName + "\" is registered");
    const auto step = m_steps.find(upper(monitor->dllName));
    if (step == m_steps.end() || !step->second)
        return fail("no add-port step is known for the monitor library " + monitor->dllName);

    AddPortResult result = step->second(AddPortRequest{monitorName, m_stateDir});
    m_report = std::move(result.report);
    if (!result.ok) {
        m_error = m_report.empty() ? "the add-port step of " + monitor->dllName + " failed" : m_report.back();
        return false;
    }
    const SpoolerPort& port = result.port;
    if (!keyPart(port.name))
        return fail("the monitor gave a port name that cannot be recorded: \"" + port.name + "\"");

    // A port name is the spooler's, whichever monitor made it: a port of the same
    // name goes, with every queue value it had, before the new one is written.
    const bool recorded = updateRegistry(
        [&](RegistryHive& h) {
            for (const auto& m : h.subkeys(std::string(PrintKey) + "\\Monitors")) {
                for (const auto& p : h.subkeys(portsKey(m))) {
                    if (sameName(p, port.name))
                        h.removeKey(portsKey(m) + "\\" + p);
                }
            }
            const std::string key = portsKey(monitor->name) + "\\" + port.name;
            bool ok = h.setValue(key, "Description", port.description);
            for (std::size_t i = 0; ok && i < port.queues.size(); ++i)
                ok = h.setValue(key, valueName(i), port.queues[i]);
            return ok;
        },
        m_stateDir);
    if (!recorded)
        return fail("cannot record the port " + port.name + " in " + registryFilePath(m_stateDir));
    return true;
}

std::vector<MonitorInfo2> Spooler::monitors() const {
    const auto hive = m_stateDir.empty() ? std::nullopt : RegistryHive::load(registryFilePath(m_stateDir));
    return hive ? registrations(*hive) : std::vector<MonitorInfo2>{};
}

std::vector<SpoolerPort> Spooler::ports() const {
    std::vector<SpoolerPort> found;
    const auto hive = m_stateDir.empty() ? std::nullopt : RegistryHive::load(registryFilePath(m_stateDir));
    if (!hive)
        return found;
    for (const auto& monitor : hive->subkeys(std::string(PrintKey) + "\\Monitors")) {
        for (const auto& name : hive->subkeys(portsKey(monitor))) {
            const std::string key = portsKey(monitor) + "\\" + name;
            SpoolerPort port{name, monitor, stringValue(*hive, key, "Description"), {}};
            for (std::size_t i = 0; hive->value(key, valueName(i)); ++i)
                port.queues.push_back(stringValue(*hive, key, valueName(i)));
            found.push_back(std::move(port));
        }
    }
    return found;
}

std::string systemDirectory(const std::string& stateDir) {
    if (stateDir.empty())
        return {};
    const std::string dir = stateDir + "/system";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    return std::filesystem::is_directory(dir, error) ? dir : std::string();
}

} // namespace vnk::platform
