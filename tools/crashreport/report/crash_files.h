// Which crash folder files go into the report's zip, and how they are read
// and cleaned on the way.
#pragma once

#include <cstddef>
#include <string>

#include "zip_writer.h"

// Files smaller than this are taken whole. Larger dumps and logs are left
// out; larger configuration files and DirectX diagnostics are cut to their
// first CUT_HEAD_SIZE bytes, three line feeds and their last CUT_TAIL_SIZE
// bytes (ZIP_FILE_LIMIT bytes in all).
constexpr size_t ZIP_FILE_LIMIT = 0x1400000;
constexpr size_t CUT_HEAD_SIZE = 0x4FFFFD;
constexpr size_t CUT_TAIL_SIZE = 0xF00000;

// Reads the file at path by the size rules above. False when it cannot be
// opened or read, is a link (or other reparse point) or a folder, or is large
// and skipLarge is set.
bool ReadCrashFile(const std::wstring& path, bool skipLarge, std::string& data);

// Collapses each run of comment lines (lines that begin with prefix after
// leading blanks) into one empty line; a run that reaches the last line
// without a line feed is cut off with it.
void StripCommentRuns(std::string& data, const char* prefix);

// Overwrites with "X" every byte after the first occurrence of key up to the
// next line feed (or the end of the data).
void MaskKeyValue(std::string& data, const char* key);

// Reads path, removes the comments of each prefix, masks each key and adds
// the result to zip as entryName (UTF-8). A file that cannot be read, or is
// large with skipLarge, is left out silently; a failed add prints an
// "Error: " text. The finished archive's encoding must stay shorter than
// zip.encodedRoom characters: an entry that breaks that is taken back with an
// "Error: " text, and later files are still tried.
void AddFileToZip(ZipWriter& zip, const char* entryName, const std::wstring& path,
                  const char* const* prefixes, size_t prefixCount, const char* const* keys, size_t keyCount,
                  bool skipLarge);

// AddFileToZip for every non-empty file (not folder, not link) of folder
// matching pattern, named by its file name in UTF-8 (a name longer than 255
// bytes in UTF-8 is left out).
void AddFilesToZip(ZipWriter& zip, const std::wstring& folder, const wchar_t* pattern,
                   const char* const* prefixes, size_t prefixCount, const char* const* keys, size_t keyCount,
                   bool skipLarge);
