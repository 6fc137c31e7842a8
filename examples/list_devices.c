/* Example client of tovamod in C: lists the attached devices with their
   sensor units.

     list_devices [COUNT]

   Waits up to 10 s until the hardware structure lists COUNT devices (default
   1), prints one line per device and per sensor unit, and exits with 0 when
   COUNT devices were found. */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "tovamod.h"

static const char* KindName(uint8_t kind) {
    switch (kind) {
        case TOVAMOD_KIND_FIELD_PORT: return "Field-Port";
        case TOVAMOD_KIND_RADIO_MASTER: return "Radio Master";
        case TOVAMOD_KIND_DESK_PORT: return "Desk-Port";
        case TOVAMOD_KIND_TIMER62: return "Timer 6-2";
        case TOVAMOD_KIND_UNIVERSAL_COUNTER: return "universal counter";
        case TOVAMOD_KIND_SPEED_OF_LIGHT: return "speed of light meter";
        case TOVAMOD_KIND_FUNCTION_GENERATOR: return "function generator";
        case TOVAMOD_KIND_XRAY: return "X-ray unit";
        case TOVAMOD_KIND_STARTER_PORT: return "Starter-Port";
        default: return "unknown";
    }
}

/* Prints UTF-16 text of n units (n < 0: up to its zero) as ASCII, '?' for the rest. */
static void PrintText(const z5_char16* text, long n) {
    long i;
    for (i = 0; text && (n < 0 ? text[i] != 0 : i < n); ++i) putchar(text[i] < 0x80 ? (char)text[i] : '?');
}

static void PrintMAC(z5_char16* mac) {
    printf(" MAC ");
    PrintText(mac, (long)z5_wstr_length(mac));
}

static int CountDevices(const THardwareStructure* root) {
    int n = 0;
    const TDeviceStructure* node;
    for (node = root ? root->First : NULL; node; node = node->Next) ++n;
    return n;
}

int main(int argc, char** argv) {
    const int wanted = argc > 1 ? atoi(argv[1]) : 1;
    const struct timespec tick = {0, 10 * 1000 * 1000};
    const THardwareStructure* root = NULL;
    const TDeviceStructure* node;
    int i, found = 0;
    z5_char16* mac = NULL; /* the library frees what it holds before each new value */

    if (tovamod_init() != 0) {
        fprintf(stderr, "list_devices: the library does not start\n");
        return 2;
    }
    /* The scan runs every 500 ms; each copy stays valid until the next call. */
    for (i = 0; i < 1000; ++i) {
        root = tovamod_GetHardwareStructure();
        if (root && (found = CountDevices(root)) >= wanted) break;
        nanosleep(&tick, NULL);
    }

    printf("%d device(s)\n", found);
    for (i = 0; i < tovamod_GetNumberOfAvailableDevice(); ++i) {
        const z5_char16* code = NULL;
        if (tovamod_GetNthAvailableDevice(&code, i) == 0) {
            printf("device object %d: type code ", i);
            PrintText(code, -1);
            printf("\n");
        }
    }
    for (node = root ? root->First : NULL; node; node = node->Next) {
        const TSensorStructure* sensor;
        printf("%s, serial ", KindName(node->Kind));
        PrintText(node->SerialNo, (long)z5_wstr_length(node->SerialNo));
        if (node->Kind != TOVAMOD_KIND_FIELD_PORT) {
            const int32_t firmware = tovamod_Device_GetRTUUParam(node->Device, 1);
            const int32_t hardware = tovamod_Device_GetRTUUParam(node->Device, 0);
            if (firmware >= 0) printf(", firmware %d.%02d", firmware / 256, firmware % 256);
            if (hardware >= 0) printf(", hardware %d", hardware);
            tovamod_Device_GetMACExtAddr(node->Device, &mac);
            PrintMAC(mac);
        } else {
            const char* version = NULL;
            if (tovamod_Device_GetVersion(node->Device, &version) == 0) printf(", version %s", version);
        }
        printf("\n");
        for (sensor = node->Sensors; sensor; sensor = sensor->Next) {
            const z5_char16* name = NULL;
            printf("  sensor kind %u at address %d, ", (unsigned)sensor->Kind, (int)sensor->Address);
            if (tovamod_Sensor_GetName(sensor->Sensor, &name) == 0) PrintText(name, -1);
            tovamod_Sensor_GetRtcuMACExtAddr(sensor->Sensor, &mac);
            PrintMAC(mac);
            printf("\n");
        }
    }
    z5_wstr_free(mac);
    tovamod_uninit();
    return found >= wanted ? 0 : 1;
}
