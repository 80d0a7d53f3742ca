// Variable expansion and inline arithmetic of command lines: two text
// filters every host and macro line passes before the dispatcher.
#pragma once

// Backquoted references replaced by their formatted values; a "//" or "/*"
// ends the line.  Writes at most size - 1 characters and a NUL; returns
// their count.  A reference whose format holds more than flags, width,
// precision and its variable's conversion is invalid and removed like any
// other: the host's text never becomes a printf format.
int expandVariables(char* dst, int size, const char* src, const char* const* args);
// Backquoted "(a op b)" expressions replaced by their 32-bit result.
int processMath(char* dst, int size, const char* src);

// 1 when text begins with a decimal field width 1..80.
int isValidFieldLength(const char* text);
// Formats of references: '%', flags, a width 1..80.
int isValidNumberFormat(const char* fmt);
int isValidStringFormat(const char* fmt);
// Copies text and its NUL when it is shorter than room; else writes nothing.
// Returns the characters written.
int safeStrAppend(char* dst, const char* text, int room);
int safeStrAppendNum(char* dst, const char* text, int room, int n);
