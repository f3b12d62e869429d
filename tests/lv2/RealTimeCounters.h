/*
 * Counts, while counting is on, every call of an allocation function and every mutex or
 * read-write lock taken anywhere in the process.
 */
#ifndef LV2TEST_REALTIMECOUNTERS_H
#define LV2TEST_REALTIMECOUNTERS_H

#ifdef __cplusplus
extern "C" {
#endif

void StartCounting(void);
void StopCounting(void);
long CountedAllocations(void);
long CountedLocks(void);

#ifdef __cplusplus
}
#endif

#endif
