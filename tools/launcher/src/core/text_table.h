// Reader of the localisation table format, shared by the launcher and
// FaultCourier (each program keeps its own table and current language).
//
// A table is a "TEXT" resource: UTF-16 with a byte-order mark (FF FE as
// shipped; FE FF is accepted and byte-swapped), CR LF line ends, one section
// per key separated by an empty line:
//
//   [KEY]
//   En="English text, ""quoted"" words, may span lines"
//   Fr="..."
//   Translated=13:Fr,It,...
//
// Nothing here touches program state: the functions take the table text and
// the language index as arguments.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Languages, in the order of the language index: en fr it de es pt ru pl uk tr
// ja zh tc ko.
constexpr int LANGUAGE_COUNT = 14;

// Longest key a lookup accepts (its header "[key]" fits 128 characters).
constexpr size_t MAX_TEXT_KEY_LENGTH = 125;

// The two-letter lower-case code of a language index; "" for any other index.
const wchar_t* LanguageCodeFromIndex(int index);

// The Windows language id that message boxes use for a language index; 1033
// (English) for any other index.
WORD MessageBoxLanguageId(int index);

// Turns the raw bytes of a table resource into the table text: everything
// after the two-byte mark, as UTF-16 units, byte-swapped when the mark is
// FE FF. Fewer than two bytes (or a null pointer) give the empty table; a
// trailing odd byte is dropped.
void DecodeTextTable(const void* data, size_t size, std::wstring& table);

// Looks up the text of key in the language of languageIndex. out receives the
// text, or is left empty when the key, or the key's line for that language,
// is missing (there is no fallback to English), when the key is longer than
// MAX_TEXT_KEY_LENGTH or the index names no language. A doubled double quote
// stands for one; line ends inside the text are kept.
void FindTableText(const std::wstring& table, const char* key, int languageIndex,
                   std::wstring& out);

// Reads the "TEXT" resource id of module (null: the program itself) into
// table; a missing or short resource gives the empty table.
void LoadTextTableResource(HMODULE module, int id, std::wstring& table);
