// Calls of the document road into parts that are still to be written: the magnetic stripe
// reader and the inkjet endorser. Each has a weak stand-in in document_seams_default.cpp; the
// owner's definition (same signature) takes precedence in the library.
#pragma once

// Magnetic stripe reader on (on >= 1) or off; the last result.
int Vx3MagStripeEnable(short on);

// Inkjet endorser: the printed count is what the stamp asked for; the head off at close.
bool CheckStamp();
void InkjetOff_TIJ10();
