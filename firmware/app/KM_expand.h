// Variable expansion and inline arithmetic of command lines.
#pragma once

int expandVariables(char* dst, int size, const char* src, const char* const* args);
int processMath(char* dst, int size, const char* src);
