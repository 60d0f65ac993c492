#pragma once

class TDataLog;

// Three entries at 15:30:45, 15:30:48 and 15:30:51; the last one draws 6993.00 W, a power
// register well beyond 16 bits.
void FillSampleLog(TDataLog& log);
