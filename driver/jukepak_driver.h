/*
 * The driver module contract. A driver module is a shared library with the
 * extension ".dld" that exports these nine entry points under exactly these
 * names, with C linkage. It moves 512-byte sectors addressed by sector number,
 * reports the disk's size, returns the last remote-control code and describes
 * itself. It knows nothing of the volume format.
 *
 * Calling order: load; QueryValidity and GetDisplayName may be called at once;
 * Open once; on success ReadSectors, WriteSectors, QueryNumSectors and ReadIR
 * in any order; Close once; unload. A module is not re-entrant: callers make
 * sure only one call is in flight at a time.
 *
 * Result codes are 0 for success and nonzero for failure.
 */
#ifndef JUKEPAK_DRIVER_H_
#define JUKEPAK_DRIVER_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define JUKEPAK_SECTOR_SIZE 512

#if defined(__GNUC__)
#define JUKEPAK_DRIVER_EXPORT __attribute__((visibility("default")))
#else
#define JUKEPAK_DRIVER_EXPORT
#endif

/* Brings the link and the player's disk into a working state. */
typedef int32_t (*JukepakOpenFn)(void);
/* Stores the number of addressable sectors of the disk in *out. */
typedef int32_t (*JukepakQueryNumSectorsFn)(uint32_t* out);
/* Writes count sectors from buffer (count * 512 bytes) starting at sector.
 * A count of 0 does nothing and succeeds. */
typedef int32_t (*JukepakWriteSectorsFn)(uint32_t sector, uint32_t count, const void* buffer);
/* Reads count sectors into buffer (count * 512 bytes) starting at sector. */
typedef int32_t (*JukepakReadSectorsFn)(uint32_t sector, uint32_t count, void* buffer);
/* Writes the text as "[%s]\n" to the module's standard output. */
typedef int32_t (*JukepakDebugMsgFn)(const char* text);
/* Stores the current 16-bit remote-control code in *code; the result is not used. */
typedef int32_t (*JukepakReadIRFn)(int32_t* code);
/* Returns the link to its idle state; always 0. */
typedef int32_t (*JukepakCloseFn)(void);
/* Nonzero when the module can run here. May be called without Open. */
typedef int32_t (*JukepakQueryValidityFn)(void);
/* The name shown when the user chooses a driver; static text. May be called without Open. */
typedef const char* (*JukepakGetDisplayNameFn)(void);

JUKEPAK_DRIVER_EXPORT int32_t Open(void);
JUKEPAK_DRIVER_EXPORT int32_t QueryNumSectors(uint32_t* out);
JUKEPAK_DRIVER_EXPORT int32_t WriteSectors(uint32_t sector, uint32_t count, const void* buffer);
JUKEPAK_DRIVER_EXPORT int32_t ReadSectors(uint32_t sector, uint32_t count, void* buffer);
JUKEPAK_DRIVER_EXPORT int32_t DebugMsg(const char* text);
JUKEPAK_DRIVER_EXPORT int32_t ReadIR(int32_t* code);
JUKEPAK_DRIVER_EXPORT int32_t Close(void);
JUKEPAK_DRIVER_EXPORT int32_t QueryValidity(void);
JUKEPAK_DRIVER_EXPORT const char* GetDisplayName(void);

/* Optional, not one of the nine: why QueryValidity says 0 ("no parallel
 * port found"), shown beside the module in the driver chooser. Static
 * text; may be called without Open. A module without it gets a general
 * reason. */
typedef const char* (*JukepakQueryValidityReasonFn)(void);
JUKEPAK_DRIVER_EXPORT const char* QueryValidityReason(void);

#ifdef __cplusplus
}
#endif

#endif /* JUKEPAK_DRIVER_H_ */
