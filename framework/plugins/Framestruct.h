#pragma once
#include <memory>
#include <string>

#include "kov_plugin.h"

// The framework structure handed to plug-in libraries. Built only for the setup exchange and
// discarded when the library returns; the entry points it holds live as long as the process.

// The structure for the version a library asked for: 1 to 7 as asked, 8 to 64 as version 7
// (with two warning lines in the log), nothing for anything else (with an error line).
std::unique_ptr<FrameStruct> BuildFrameStruct(int requestedVersion);

// The setup exchange: framework_version, the log line, the structure, setup_framework.
// hostPrefix is "TProgDLL:" or "TDevDLL:"; libraryFileName is the file name without folder.
// True when the library accepted the structure.
bool ExchangeFrameStruct(const char* hostPrefix, const std::string& libraryFileName,
                         KovFrameworkVersionFn* frameworkVersion, KovSetupFrameworkFn* setupFramework);

// The device word access behind PutBufferWordP/GetBufferWordP, on the selected device.
void PutBufferWord(int wordAddress, std::uint64_t value);
std::uint64_t GetBufferWord(int wordAddress);
