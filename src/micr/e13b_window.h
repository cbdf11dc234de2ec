// One character window of the magnetic E13B recogniser, shared by its scan (e13b_recognise.cpp)
// and its rule blocks (e13b_rules.cpp); nothing outside this folder includes it.
#pragma once

namespace pvk::micr::e13b {

constexpr int kMaxLobes = 20;

// The peak arrays of the conditioned signal and what the scan found at one closing valley.
struct Window {
  int* maxStart;
  int* maxEnd;
  int* minStart;
  int* minEnd;
  int last;      // bound of every array read
  int N;         // noise level
  int p;         // start of the closing valley
  int q;         // its end
  int length;    // samples before p that the window spans
  int baseConf;
  int cut;       // upper cut of the filter pass, 0 on the smoothing pass
  char expected; // the optical symbol at this place, 0 when none
  int peaks[kMaxLobes];  // positive lobe starts, left to right
  int ends[kMaxLobes];   // their ends
  int nPeaks;
  int nEnds;
  int strongest;         // strongest peak collected, before any pruning
};

// What the rule blocks leave per symbol index (flags and confidences go to valido/confidenza).
struct Found {
  int start[16];
  int end[16];
  int strength[16];
  int mean;  // the strongest mean level a block measured, -1 when none did
};

// Runs the two-lobe and the three-lobe rule blocks on a collected window.
void rateWindow(const Window& w, Found& f);

}  // namespace pvk::micr::e13b
