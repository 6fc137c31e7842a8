/* A C client of the library: the header compiles as C and the exports link
   and run without any C++ on the client's side. Exit status 0 on success. */
#include <stdio.h>

#include "tovamod.h"

static int failures = 0;
#define CHECK(cond)                                              \
    do {                                                         \
        if (!(cond)) {                                           \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                          \
        }                                                        \
    } while (0)

static void OnData(void* context, pOnChangeData* record) {
    (void)context;
    free(*record);
}

int main(void) {
    TonProcessData handler = {OnData, NULL};
    const z5_char16* name = NULL;
    THardwareStructure* copy;
    uint8_t exists = 7;
    z5_char16* description = NULL;

    tovamod_getProcessData(&handler);
    CHECK(tovamod_uninit() == -1);
    CHECK(tovamod_init() == 0);
    CHECK(tovamod_GetNumberOfAvailableDevice() == 0);
    CHECK(tovamod_GetNthAvailableDevice(&name, 0) == -1);
    copy = tovamod_GetHardwareStructure();
    CHECK(copy == NULL || copy->First == NULL);
    CHECK(tovamod_DevicesInMeasureMode() == 0);
    tovamod_GetDescriptionActiveNet(&exists, &description);
    CHECK(exists == 0 && description == NULL);
    CHECK(tovamod_GetZ5NetsFileStructure() != NULL);
    tovamod_DeactivateDevicesIdentification();
    tovamod_ActivateDevicesIdentification();
    CHECK(tovamod_uninit() == 0);
    return failures == 0 ? 0 : 1;
}
