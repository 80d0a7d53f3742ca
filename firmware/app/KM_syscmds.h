// Configuration, system and diagnostic commands.
#pragma once

int cmdQueuedReports(void);
int cmdWait(unsigned n);
int cmdVersion(void);

struct ExtBitmapRecord;
void DumpBitMapStructure(const ExtBitmapRecord* r);
