/*
 * Counts, while counting is on, every call of an allocation function and every mutex or
 * read-write lock taken anywhere in the process, the libraries it loads included: the
 * validator's real-time check and the LV2 bridge's tests hold a render to zero of each.
 * [any thread] Start and stop bracket the calls to count; the counts are read after stopping.
 */
#ifndef QUENZAL_REALTIMECOUNTERS_H
#define QUENZAL_REALTIMECOUNTERS_H

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
