// Stand-ins for the platform calls the library was written against: named-semaphore waits,
// sleeps, error numbers and file removal and renaming.
#pragma once

#include <semaphore.h>

constexpr int kWaitObject0 = 0;      // the semaphore was taken
constexpr int kWaitTimeout = 258;    // the wait timed out
constexpr int kWaitFailed = -1;

char* _strupr(char* s);
// Takes sem, waiting at most ms milliseconds. Returns kWaitObject0, kWaitTimeout or kWaitFailed.
int WaitForSingleObject(sem_t* sem, unsigned long ms);
// Posts sem count times; the third argument is ignored.
void ReleaseSemaphore(sem_t* sem, int count, void* previous);
void Sleep(unsigned int ms);
unsigned int GetLastError();
bool DeleteFile(const char* path);
bool MoveFile(const char* from, const char* to);
