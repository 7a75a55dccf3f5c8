// The print spooler of this PC: print monitors registered by name, environment
// and library file, and the printer ports they created. Both are kept in the
// registry hive of the state directory, where the Windows spooler keeps them:
//
//   HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Environments\<environment>\Monitors\<name>
//       "Driver"="<library file>"
//   HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\<name>\Ports\<port>
//       "Description"="...", "Queue1"="<queue>", "Queue2"=...
//
// Monitor names are compared without regard to case, as the registry compares
// keys, and are one name for the whole spooler whatever their environment.
// Adding a port runs the add-port step of the monitor registered under the name.
// The suite ships one monitor (reference_monitor.h) and registers it for the
// library files the setup wizard names.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vnk::platform {

// The spooler's level-2 monitor information: name, environment, library file.
struct MonitorInfo2 {
    std::string name;
    std::string environment; // "Windows 4.0", "Windows NT x86", "." (this machine's)
    std::string dllName;     // "KESTRAL.DLL", "BRANWICK.DLL"
};

// A printer port a monitor created.
struct SpoolerPort {
    std::string name;        // e.g. "QUILL-3P2S"
    std::string monitor;     // the monitor name it was added under
    std::string description; // what the monitor says the port is
    std::vector<std::string> queues; // print queues made for it (e.g. CUPS queues)
};

// What a monitor's add-port step gets and gives.
struct AddPortRequest {
    std::string monitorName;
    std::string stateDirectory;  // where pserver.bin's system directory lies
};
struct AddPortResult {
    bool ok = false;
    SpoolerPort port;            // valid when ok
    std::vector<std::string> report; // one line per thing done (or why it failed)
};
using AddPortStep = std::function<AddPortResult(const AddPortRequest&)>;

class Spooler {
public:
    // stateDir "" = stateDirectory().
    explicit Spooler(std::string stateDir = {});

    // AddMonitor(NULL, 2, info): false when the name, environment or library
    // is empty, when a monitor of that name is registered already, or when the
    // hive cannot be written. lastError() says which.
    bool addMonitor(const MonitorInfo2& info);
    // AddPort(NULL, window, monitorName): runs the add-port step of the library
    // registered under monitorName and records the port it made (a port of the
    // same name, whichever monitor made it, is replaced). False when no monitor
    // of that name is registered, when no step is known for its library, when
    // the step fails, or when the port cannot be recorded.
    bool addPort(const std::string& monitorName);

    std::vector<MonitorInfo2> monitors() const;
    std::vector<SpoolerPort> ports() const;
    // The report lines of the last addPort (the monitor's, or the spooler's reason).
    const std::vector<std::string>& lastReport() const { return m_report; }
    const std::string& lastError() const { return m_error; }

    // The add-port step of a monitor library, by file name (case-insensitive).
    // The reference monitor is known as "KESTRAL.DLL" and "BRANWICK.DLL" from the start.
    void setAddPortStep(const std::string& dllName, AddPortStep step);

    const std::string& stateDirectory() const { return m_stateDir; }

private:
    std::string m_stateDir;
    std::map<std::string, AddPortStep> m_steps; // upper-cased library name
    std::vector<std::string> m_report;
    std::string m_error;
};

// The system directory: system/ in the state directory (created when missing).
// Empty when the state directory is unknown or cannot be made.
std::string systemDirectory(const std::string& stateDir);

} // namespace vnk::platform
