// StepError: the one text that tells the user why the last step failed,
// with the flag that forbids an automatic retry; plus the helpers that turn
// system errors and folder creation failures into such texts.
//
// SetStepError, SetStepErrorKey and GetStepError may be called from any
// thread once CreateStepErrorLock has run; each holds the lock only while
// copying, so a reader sees either the old or the new text whole.
#pragma once

#include <windows.h>

#include <string>

// Created by the launcher at start-up before anything can report a failure,
// deleted at shutdown after every step (and so every worker) has ended.
void CreateStepErrorLock();
void DeleteStepErrorLock();

void SetStepError(const std::wstring& text, bool fatal);
// key is a narrow localisation key; a missing key gives the empty text.
void SetStepErrorKey(const char* key, bool fatal);
void GetStepError(std::wstring& text, bool& fatal);

// Appends the system's message for a Win32 error code in the given language
// (1024: the user's default, for texts the user sees; 1033: English, for the
// log), trailing white space removed and followed by one blank, and then
// "[0x%08X]" with the code; a code without a message gets the bracket only.
void AppendSystemErrorText(std::wstring& text, DWORD code, DWORD languageId);

// Makes sure the folder exists, creating missing parents. On failure logs,
// sets a fatal StepError naming the folder and returns false.
bool CreateDirectoryChecked(const wchar_t* path);
