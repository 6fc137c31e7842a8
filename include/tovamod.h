/* tovamod: device access library for the Zelto5 family of USB measuring
   interfaces and laboratory instruments. Flat C interface.

   Layout: the records were designed for 32-bit pointers; on 64-bit builds
   pointer fields are 8 bytes wide and the field order stays the same. */
#ifndef TOVAMOD_H
#define TOVAMOD_H

#include <stdint.h>

#include "z5widestring.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- hardware structure ------------------------------------------------ */

/* ---- networks tree ------------------------------------------------------ */

/* ---- exports ------------------------------------------------------------ */

/* Notification record: the library allocates it with malloc and sets Flag to 1;
   it belongs to the handler from then on (release it with free). */
typedef struct {
    uint8_t Flag;
    uint8_t Reserved;
} TOnChangeData;
typedef TOnChangeData* pOnChangeData;

/* Notification handler: Code is called as Code(Context, &record). */
typedef struct {
    void (*Code)(void* Context, pOnChangeData* aOnChangeDataRecord);
    void* Context;
} TonProcessData;

#ifdef __cplusplus
}
#endif

#endif
