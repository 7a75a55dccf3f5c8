// The registry the programs keep their settings in: a hive of keys and values in
// one text file, registry.reg in the state directory, in the REGEDIT4 format a
// person can read and edit:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\Pellam.exe]
//   "Path"="/usr/lib/varnotek"
//   "Count"=dword:0000001f
//
// Keys are full paths from their root ("HKEY_LOCAL_MACHINE\..."). Values are
// strings (\\ and \" escaped inside the quotes) or 32-bit numbers; @ names a
// key's default value. Key and value names are compared without regard to case,
// as the Windows registry compares them (ASCII letters only), and keep the case
// they were first written with.
//
// Reading is forgiving: a line that is not a key, a string or a dword value (a
// comment, a deletion, another value type, a key with an empty part, a line
// longer than MaxLineLength) is skipped, and so are the values under a key line
// that was skipped. Such lines are not written back by save().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vnk::platform {

// The suite's state directory: VNK_STATE_DIR, else $XDG_STATE_HOME/varnotek,
// else $HOME/.local/state/varnotek (empty variables count as unset). Empty when
// none of the three is set. The directory is not created here.
std::string stateDirectory();

// registry.reg in the given state directory.
std::string registryFilePath(const std::string& stateDir);

// A string or a dword.
using RegistryValue = std::variant<std::string, std::uint32_t>;

class RegistryHive {
  public:
    // The suite keeps a handful of keys; a bigger file is not one of ours, and
    // reading it whole would let it take any amount of memory.
    static constexpr std::size_t MaxHiveBytes = 1 << 20;
    // Every line, and so every key path, value name and string, fits in this.
    static constexpr std::size_t MaxLineLength = 16 * 1024;

    static RegistryHive parse(std::string_view text);
    // The hive in the file; an empty hive when the file does not exist. Nothing
    // when it exists but cannot be read, is not a regular file or is larger
    // than MaxHiveBytes (so that a set-and-save never overwrites it).
    static std::optional<RegistryHive> load(const std::string& path);

    // The REGEDIT4 text: the header, then each key with its values in the order
    // they were first set.
    std::string text() const;
    // Writes text() to a temporary file beside path, flushes it to disk and
    // renames it over path, so that a reader sees the old hive or the new one,
    // never half of one. Creates path's directory when it is missing.
    bool save(const std::string& path) const;

    // True when the key or a key below it exists (a key line names its parents
    // too, as a key cannot exist without them).
    bool hasKey(std::string_view key) const;
    // The value, or nothing when the key or the value is missing.
    const RegistryValue* value(std::string_view key, std::string_view name) const;
    // Creates the key when it is missing and sets the value. False, and nothing
    // changed, when the key is not a valid path (empty, or an empty part between
    // backslashes), or a name or string holds a line break or NUL, or the line
    // would be longer than MaxLineLength: what is set can always be read back.
    bool setValue(std::string_view key, std::string_view name, const RegistryValue& value);

    // The names of the keys right below key (one part each, the case they were
    // first written with), in the order they first appear in the hive.
    std::vector<std::string> subkeys(std::string_view key) const;
    // Removes the key with its values and every key below it. False when there
    // was no such key.
    bool removeKey(std::string_view key);

  private:
    struct Key {
        std::string name;
        std::vector<std::pair<std::string, RegistryValue>> values;
    };
    Key* findKey(std::string_view name);
    const Key* findKey(std::string_view name) const;

    std::vector<Key> m_keys;
};

// The calls the programs make, each on the hive of a state directory.

// Opens the key and reads a string value into a buffer of bufferSize bytes.
// Nothing when there is no state directory, the hive cannot be read, the key or
// the value is missing, the value is a dword, or the string and its terminator
// do not fit the buffer: the Windows call fails with "more data" there, and a
// cut value (a directory, an address) would name something else.
std::optional<std::string> queryRegistryString(std::string_view key, std::string_view name,
                                               std::size_t bufferSize,
                                               const std::string& stateDir = stateDirectory());
// A dword value; nothing when it is missing or a string.
std::optional<std::uint32_t> queryRegistryDword(std::string_view key, std::string_view name,
                                                const std::string& stateDir = stateDirectory());

// Creates the key when it is missing, sets the value and writes the hive back
// at once, every other key and value kept. The hive is read and written under
// a lock on the state directory, so two programs setting values at the same time
// both keep theirs. False when there is no state directory, the hive cannot be
// read or written, or setValue refuses the value.
bool setRegistryValue(std::string_view key, std::string_view name, const RegistryValue& value,
                      const std::string& stateDir = stateDirectory());

// Reads the hive, lets change edit it and writes it back, under the same lock
// as setRegistryValue: a check and the change that depends on it are one step
// for every program sharing the state directory. Nothing is written when change
// returns false. False when there is no state directory, the hive cannot be read
// or written, or change returned false.
bool updateRegistry(const std::function<bool(RegistryHive&)>& change,
                    const std::string& stateDir = stateDirectory());

} // namespace vnk::platform
