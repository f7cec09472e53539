// Server configuration shared by Launcher.exe and FaultCourier.exe.
//
// Built-in defaults, overridden by "Vantorel.ini" in the folder of the
// running executable (both programs ship in the same Tools folder), or by
// the file that the environment variable "VANTOREL_SERVER_CONFIG" names: a
// launcher sets it for the downloaded copy it hands over to, so the file
// beside the program the player started governs the copy as well. Only
// the keys below are read; a key that is absent, empty or not a valid value
// keeps its default, so a missing or damaged file leaves the defaults.
//
//   [Public]                 ; also [Test] and [Dev], one per server cluster
//   Content=host[:port]      ; content server  -> http://host[:port]
//   Origin=host[:port]       ; origin server   -> https://host[:port]
//   Api=host[:port]          ; web service     -> https://host[:port]/api/ and /stats/
//   [Crash]
//   Server=host[:port]       ; https://host[:port]/CrashServer/CrashProcessREST.php
//   [InHouse]
//   DomainSuffix=.example    ; DNS suffix of the maker's own machines (starts with ".")
//   IssueTracker=host[:port] ; https://host[:port]/jira/browse/
//
// A host is letters, digits, ".", "-" and "_" (at most 253 characters),
// optionally followed by ":" and a port from 1 to 65535.
//
// The configuration is read once, on first use, under a lock; every getter
// returns a copy, so any thread may call them. This file uses nothing of
// either program's own state.
#pragma once

#include <string>

constexpr wchar_t SERVER_CONFIG_FILE_NAME[] = L"Vantorel.ini";
constexpr wchar_t SERVER_CONFIG_VARIABLE[] = L"VANTOREL_SERVER_CONFIG";

enum ServerRole {
    ROLE_CONTENT = 0,
    ROLE_ORIGIN = 1,
    ROLE_API = 2,
    ROLE_COUNT = 3,
};

constexpr int CONFIG_CLUSTER_COUNT = 3; // public, test, dev

struct ServerConfig {
    std::wstring hosts[CONFIG_CLUSTER_COUNT][ROLE_COUNT];
    std::wstring crashHost;
    std::wstring internalDomainSuffix;
    std::wstring issueTrackerHost;
};

// The built-in values.
ServerConfig DefaultServerConfig();

// Overrides the fields of config with the valid values of the INI file at
// path. Returns the number of values that were present but rejected (a
// missing file rejects nothing). rejected, when given, receives their
// "Section.Key" names separated by blanks.
int ApplyServerConfigFile(ServerConfig& config, const wchar_t* path, std::wstring* rejected = nullptr);

// Replaces the configuration in use with the defaults overridden by the
// file at path (null: the file named by the environment, else the one beside
// the executable). Meant for start-up
// and tests; returns what ApplyServerConfigFile returned.
int ReloadServerConfig(const wchar_t* path);

// Names the file of the configuration in use, when there is one, in this
// process's environment, so that the programs it starts read the same file.
void HandOverServerConfig();

// Names of the values of the file in use that were rejected ("" when none),
// for the program to report.
std::wstring GetServerConfigRejected();

// Host (with optional ":port") of a role of cluster 0..2; "" for any other.
std::wstring GetServerHost(int cluster, ServerRole role);

// Full address of the crash server's report endpoint.
std::wstring GetCrashServerUrl();

// The issue tracker's browse address; a bug number is appended to it.
std::wstring GetIssueTrackerBrowseUrl();

// The maker's internal DNS domain suffix.
std::wstring GetInternalDomainSuffix();

// Validity rules of the file's values.
bool IsValidServerHost(const wchar_t* text);
bool IsValidDomainSuffix(const wchar_t* text);

// Whether name ends with suffix, compared on the suffix's length without
// regard to case; an empty suffix, or a name shorter than it, never matches.
bool NameEndsWithDomainSuffix(const wchar_t* name, const wchar_t* suffix);

// Whether this computer's fully qualified physical DNS name ends with the
// internal domain suffix (a name that cannot be read does not). Asks
// Windows on every call.
bool QueryInHouseMachine();
