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

#ifdef __cplusplus
}
#endif

#endif
