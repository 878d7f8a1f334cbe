#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A window's placement as the configuration store keeps it (no windowing types here).
struct FormPlacement {
    std::string name;      // section: "MainForm", "StatusForm", ...
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool resizable = false;
};

// Every persistent setting as named text values, loaded from one session file and written back
// at exit. Names are "Section.Key" or "Section.Subsection.Key", compared without letter case.
class TKOVConfig {
public:
    // Fixes InstallFolder from programPath ("" = the running executable) and the session path
    // from the first parameter, then loads the session.
    TKOVConfig(const std::string& programPath, const std::vector<std::string>& params);
    ~TKOVConfig();   // writes the session file
    TKOVConfig(const TKOVConfig&) = delete;
    TKOVConfig& operator=(const TKOVConfig&) = delete;

    std::string GetString(const std::string& section, const std::string& key) const;
    std::string GetString(const std::string& section, const std::string& sub, const std::string& key) const;
    void SetString(const std::string& section, const std::string& key, const std::string& value);
    void SetString(const std::string& section, const std::string& sub, const std::string& key,
                   const std::string& value);

    bool GetBool(const std::string& section, const std::string& key) const;
    bool GetBool(const std::string& section, const std::string& sub, const std::string& key) const;
    void SetBool(const std::string& section, const std::string& key, bool value);
    void SetBool(const std::string& section, const std::string& sub, const std::string& key, bool value);

    std::int32_t GetInt(const std::string& section, const std::string& key) const;
    std::int32_t GetInt(const std::string& section, const std::string& sub, const std::string& key) const;
    void SetInt(const std::string& section, const std::string& key, std::int32_t value);
    void SetInt(const std::string& section, const std::string& sub, const std::string& key, std::int32_t value);

    double GetFloat(const std::string& section, const std::string& key) const;
    double GetFloat(const std::string& section, const std::string& sub, const std::string& key) const;
    void SetFloat(const std::string& section, const std::string& key, double value);
    void SetFloat(const std::string& section, const std::string& sub, const std::string& key, double value);

    // True when the name has a stored line (an empty value included).
    bool HasValue(const std::string& section, const std::string& key) const;
    bool HasValue(const std::string& section, const std::string& sub, const std::string& key) const;

    void SaveFormPosition(const FormPlacement& form);
    // The placement to apply: stored values, or the centred default when they are missing or
    // would put the window (partly) off the screen.
    FormPlacement RestoreFormPosition(const FormPlacement& current, int screenWidth, int screenHeight) const;

    void LoadSession(const std::string& path);
    // Writes every line but the "Hidden." ones; atomically (temporary file, then rename).
    // Returns false (and reports) when the file could not be written.
    bool SaveSession(const std::string& path);

    static std::string EncodeValue(const std::string& value);
    static std::string DecodeValue(const std::string& value);

    const std::vector<std::string>& Entries() const { return Entries_; }
    const std::string& SessionFileName() const { return SessionFileName_; }
    const std::string& SessionPath() const { return SessionPath_; }
    const std::string& SessionFolder() const { return SessionFolder_; }
    const std::string& DevicesFolder() const { return DevicesFolder_; }
    const std::string& ProgrammersFolder() const { return ProgrammersFolder_; }
    // Why the session file could not be read although it exists ("" when it was read or is
    // missing). Such a file is never overwritten automatically, so no settings are lost.
    const std::string& LoadProblem() const { return LoadProblem_; }

private:
    int Find(const std::string& name) const;
    bool ReadValue(const std::string& name, std::string& value) const;
    void WriteValue(const std::string& name, const std::string& value);
    void SaveAtExit();
    void SaveIfDebugging();

    std::vector<std::string> Entries_;
    std::string SessionFileName_;
    std::string SessionPath_;
    std::string SessionFolder_;
    std::string DevicesFolder_;
    std::string ProgrammersFolder_;
    std::string LoadProblem_;
};

// Session value conversions, also for other readers of session-style values. Integers are
// decimal (blanks around them allowed); anything else, "12abc" or a value beyond 32 bits
// included, is not a number. Floating point always uses "." and 15 significant digits.
bool ParseConfigInt(const std::string& text, std::int32_t& value);
bool ParseConfigFloat(const std::string& text, double& value);
std::string FormatConfigFloat(double value);

// The sixteen configuration accessors handed to libraries through the framework structure.
// Each checks its names (and the store's existence) and never throws. The two string readers
// return a process-wide 255-byte buffer each (at most 254 characters), valid until the next call.
extern "C" {
void KovCfgWriteString(const char* section, const char* key, const char* value);
const char* KovCfgReadString(const char* section, const char* key);
void KovCfgWriteBool(const char* section, const char* key, int value);
int KovCfgReadBool(const char* section, const char* key);
void KovCfgWriteInt(const char* section, const char* key, int value);
int KovCfgReadInt(const char* section, const char* key);
void KovCfgWriteFloat(const char* section, const char* key, double value);
double KovCfgReadFloat(const char* section, const char* key);
void KovCfgWriteString3(const char* section, const char* sub, const char* key, const char* value);
const char* KovCfgReadString3(const char* section, const char* sub, const char* key);
void KovCfgWriteBool3(const char* section, const char* sub, const char* key, int value);
int KovCfgReadBool3(const char* section, const char* sub, const char* key);
void KovCfgWriteInt3(const char* section, const char* sub, const char* key, int value);
int KovCfgReadInt3(const char* section, const char* sub, const char* key);
void KovCfgWriteFloat3(const char* section, const char* sub, const char* key, double value);
double KovCfgReadFloat3(const char* section, const char* sub, const char* key);
}
