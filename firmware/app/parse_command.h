// The command dispatcher: one fixed chain of keyword tests.
#pragma once

// Result codes: the prompt the caller sends after the command.
enum { CMD_FAIL = 0, CMD_OK = 1, CMD_LINE_ERROR = 2, CMD_REPLIED = 3 };

#define OUT_BUFFER_SIZE 129
extern char out_buffer[OUT_BUFFER_SIZE];

int parse_command(char* cmd);
