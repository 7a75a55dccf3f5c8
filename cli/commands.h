// vnkctl's commands, each an exit code (cli/vnkctl.h). A command on a box gets
// the session with that box selected; list and wake find what they need.
#pragma once

#include "cli/options.h"
#include "cli/output.h"
#include "cli/session.h"
#include "transport/ipx/ipx_context.h"

#include <istream>
#include <string>
#include <vector>

namespace vnk::cli {

// --- the record and the box (record_commands.cpp) ---
int cmdFields(Output& o);
int cmdList(Session& s, bool withStatus);
// What the bindery of the nearest file server names besides the boxes: NDS
// trees (without their "_" padding), file servers, other print servers.
void showNetwareNames(Output& o, const ipx::NameLists& names);
int cmdShow(Session& s);
int cmdGet(Session& s, const std::vector<std::string>& names);
int cmdStatus(Session& s);
int cmdSet(Session& s, const std::vector<std::string>& typed);
// Writes the context's record buffer to the selected box; label names the
// change in the failure message.
int writeRecord(Session& s, const char* label);
int cmdFactoryDefault(Session& s);
int cmdReset(Session& s);
int cmdPrinters(Session& s);
int cmdTestPrint(Session& s, const std::string& portText);

// --- firmware (firmware_command.cpp) ---
// The Upgrade page's checks, then the transfer; typeNumber 1-3, or 0 for the first image.
int cmdUpgrade(Session& s, std::ostream& err, const std::string& path, int typeNumber, bool terminal);

// --- backup, diff and restore (backup_commands.cpp) ---
bool isRegularFile(const std::string& path);
int cmdBackup(Session& s, const std::string& path);
int cmdDiffFiles(Output& o, const std::string& first, const std::string& second);
int cmdDiff(Session& s, const std::string& path);
struct Confirmation {
    bool yes = false;
    bool terminal = false;
    std::istream* in = nullptr;
};
int cmdRestore(Session& s, const std::string& path, bool otherBox, const Confirmation& confirm, std::ostream& err);

// --- over NetBIOS (netbios_commands.cpp) ---
// list and show over NetBIOS datagrams.
int runOverNetbios(Output& o, const Options& opt, const std::string& command, const std::vector<std::string>& items,
                   const platform::Endpoint& endpoint, std::ostream& err, const Environment& env);

// --- every transport at once (list_all.cpp) ---
// list --all: UDP always, IPX and NetBIOS when set up, searched at the same time
// and merged by Ethernet address.
int cmdListAll(Output& o, const Options& opt, const platform::Endpoint& endpoint, std::ostream& err,
               const Environment& env);

// --- CUPS queues (queue_command.cpp) ---
// The CUPS queue of each parallel port, or of the one portText names, with the
// driver "auto" (or empty), "raw" or a ppd-name.
int cmdQueue(Session& s, const std::string& portText, const std::string& driver);

// --- Wake-on-LAN (wake_command.cpp) ---
int cmdWake(Output& o, const Options& opt, const std::vector<std::string>& items, const platform::Endpoint& endpoint,
            std::ostream& err, const Environment& env);

} // namespace vnk::cli
