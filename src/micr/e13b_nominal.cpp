// The nominal magnetic strength of the E13B symbols, against which a reading measures each
// character's strength.
#include "micr/micr.h"

const int nominaleE13B[14] = {112, 76, 75, 85, 86, 75, 70, 57, 88, 85, 104, 73, 89, 68};

int IndiceE13B(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  switch (c) {
    case ':': return 10;
    case '=': return 11;
    case '<': return 12;
    case ';': return 13;
    default: return 15;
  }
}

int PercentualeNominaleE13B(char c) {
  const int i = IndiceE13B(c);
  return i < 14 ? nominaleE13B[i] : 100;
}
