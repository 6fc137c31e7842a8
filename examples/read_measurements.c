/* Example client of tovamod in C: measures on a Desk-Port and on a radio
   sensor unit of a Radio Master, then downloads one file of a Field-Port data
   logger.

     read_measurements BASE-MAC UNIT-MAC

   A Radio Master hands out only the radio units that the active network of
   the networks file admits, so the example first writes one network with the
   base BASE-MAC and its unit UNIT-MAC (16 hexadecimal digits each). Then, on
   each of the two devices, it sets the unit's sample period, starts the
   measurement with the command text "0005,1,\r", prints three samples with
   their times and stops with "0006,1,\r". From the data logger it reads the
   file list and downloads the first file, printing its lines. Exits with 0
   when all three parts worked. */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "tovamod.h"

#define SAMPLES 3
#define PERIOD 100 /* ms between samples, the unit's sample period 2 */

static void Sleep10ms(void) {
    const struct timespec tick = {0, 10 * 1000 * 1000};
    nanosleep(&tick, NULL);
}

/* A shared wide string of an ASCII text (at most 63 characters). */
static z5_char16* Wide(const char* text) {
    z5_char16 units[64];
    uint32_t i, n = (uint32_t)strlen(text);
    if (n > 63) n = 63;
    for (i = 0; i < n; ++i) units[i] = (z5_char16)(unsigned char)text[i];
    return z5_wstr_alloc(units, n);
}

/* One activated network: the base and the one radio unit it admits. The tree
   is ours: the library only reads it. */
static void AdmitUnit(const char* baseMAC, const char* unitMAC) {
    TZ5_HardLock_Networks* tree = calloc(1, sizeof *tree);
    TZ5_HardLock_Network* net = calloc(1, sizeof *net);
    TZ5_HardLock_Device* base = calloc(1, sizeof *base);
    TZ5_HardLock_Sensor* unit = calloc(1, sizeof *unit);
    if (!tree || !net || !base || !unit) exit(2);
    tree->Password = Wide("");
    tree->First = net;
    net->Activated = 1;
    net->PK = 1;
    net->Date = Wide("1.1.2025");
    net->Description = Wide("example");
    net->Hardwares = base;
    base->Type = Wide("RTUU");
    base->MAC_ID = Wide(baseMAC);
    base->WChannel = 11;
    base->Sensors = unit;
    unit->Type = Wide("RTCU");
    unit->MAC_ID = Wide(unitMAC);
    tovamod_SetZ5NetsFileStructure(tree);
    z5_wstr_free(unit->Type);
    z5_wstr_free(unit->MAC_ID);
    z5_wstr_free(base->Type);
    z5_wstr_free(base->MAC_ID);
    z5_wstr_free(net->Date);
    z5_wstr_free(net->Description);
    z5_wstr_free(tree->Password);
    free(unit);
    free(base);
    free(net);
    free(tree);
}

/* The device node of this kind with a sensor node of sensor kind sensorKind
   (one with channels when channels is set); NULL when the copy has none. */
static const TDeviceStructure* FindNode(const THardwareStructure* root, uint8_t kind, uint8_t sensorKind,
                                        int channels, const TSensorStructure** sensor) {
    const TDeviceStructure* node;
    const TSensorStructure* q;
    for (node = root ? root->First : NULL; node; node = node->Next) {
        if (node->Kind != kind) continue;
        for (q = node->Sensors; q; q = q->Next) {
            if (q->Kind == sensorKind && (!channels || q->ChannelCount > 0)) {
                *sensor = q;
                return node;
            }
        }
    }
    return NULL;
}

/* Waits up to 10 s until n measurements are queued on the sensor. */
static int WaitForMeasurements(void* sensor, int64_t n) {
    int i;
    for (i = 0; i < 1000; ++i) {
        if (tovamod_Sensor_GetNumMeasureAvailable(sensor) >= n) return 1;
        Sleep10ms();
    }
    return 0;
}

static void PrintSample(const char* what, int index, int64_t time, const int32_t* values, int channels) {
    int k;
    printf("%s %d: time %lld, values", what, index, (long long)time);
    for (k = 0; k < channels; ++k) printf(" %d", (int)values[k]);
    printf("\n");
}

/* Sets the period, starts, prints SAMPLES samples, stops. 1 when it worked. */
static int Measure(const char* what, void* device, const TSensorStructure* unit) {
    int32_t values[8];
    int64_t time;
    int i, ok = 1;
    const int channels = unit->ChannelCount < 8 ? unit->ChannelCount : 8;
    if (tovamod_Sensor_SetSamplePeriode(unit->Sensor, 2, PERIOD) != PERIOD) {
        printf("%s: the unit did not take the sample period\n", what);
        return 0;
    }
    if (tovamod_Device_SendCmdAndGetResponse(device, "0005,1,\r", 0) != 0) {
        printf("%s: the measurement did not start\n", what);
        return 0;
    }
    printf("%s: measuring, %d channel(s)\n", what, channels);
    if (!WaitForMeasurements(unit->Sensor, SAMPLES)) ok = 0;
    if (tovamod_Device_SendCmdAndGetResponse(device, "0006,1,\r", 0) != 0) ok = 0;
    for (i = 1; ok && i <= SAMPLES; ++i) {
        if (tovamod_Sensor_ReadRawMeasurement(unit->Sensor, &time, channels, values) != 0) ok = 0;
        else PrintSample("  sample", i, time, values, channels);
    }
    printf("%s: stopped, measure mode %d\n", what, (int)tovamod_DevicesInMeasureMode());
    return ok;
}

/* Lists the logger's files and downloads the first; 1 when lines came. */
static int Download(void* logger) {
    TDLUFileInfo* records = calloc(TOVAMOD_DLU_MAX_FILES, sizeof *records);
    void* sensor = NULL;
    uint8_t status = 3;
    int32_t values[TOVAMOD_DLU_MAX_CHANNELS];
    int64_t time, queued = 0;
    int i, n, lines = 0, quiet = 0;
    if (!records) return 0;
    n = tovamod_Device_GetDLUFileData(logger, records);
    printf("Field-Port: %d file(s)\n", n);
    if (n > 0 && tovamod_OpenSensor(logger, 921600, 0, 0, &sensor, &status) == 0 && sensor) {
        const int channels = records[0].ChannelCount;
        printf("Field-Port file %s of %s, %d channel(s)\n", records[0].Name, records[0].Date, channels);
        tovamod_Device_GetDLUValues(logger, records, 0);
        /* The download has no end mark: lines are taken until none came for 1 s. */
        while (quiet < 100) {
            const int64_t now = tovamod_Sensor_GetNumMeasureAvailable(sensor);
            quiet = now > queued ? 0 : quiet + 1;
            queued = now;
            Sleep10ms();
        }
        while (tovamod_Sensor_ReadRawMeasurement(sensor, &time, channels, values) == 0)
            PrintSample("  line", ++lines, time, values, channels);
    }
    for (i = 0; i < TOVAMOD_DLU_MAX_FILES; ++i) z5_dlu_free_texts(&records[i]);
    free(records);
    return lines > 0;
}

int main(int argc, char** argv) {
    const THardwareStructure* root = NULL;
    const TDeviceStructure *desk = NULL, *base = NULL, *logger = NULL;
    const TSensorStructure *deskUnit = NULL, *radioUnit = NULL, *loggerSensor = NULL;
    int i, ok;

    if (argc < 3) {
        fprintf(stderr, "usage: read_measurements BASE-MAC UNIT-MAC\n");
        return 2;
    }
    if (tovamod_init() != 0) {
        fprintf(stderr, "read_measurements: the library does not start\n");
        return 2;
    }
    /* The network is written before a scan meets the Radio Master. */
    tovamod_DeactivateDevicesIdentification();
    AdmitUnit(argv[1], argv[2]);
    tovamod_ActivateDevicesIdentification();

    for (i = 0; i < 1000 && !(desk && base && logger); ++i) {
        root = tovamod_GetHardwareStructure();
        desk = FindNode(root, TOVAMOD_KIND_DESK_PORT, 0, 1, &deskUnit);
        base = FindNode(root, TOVAMOD_KIND_RADIO_MASTER, 0, 1, &radioUnit);
        logger = FindNode(root, TOVAMOD_KIND_FIELD_PORT, 0, 0, &loggerSensor);
        Sleep10ms();
    }
    if (!desk || !base || !logger) {
        printf("not every device was found\n");
        tovamod_uninit();
        return 1;
    }
    /* The copy stays valid while no other call of tovamod_GetHardwareStructure
       is made on this thread; no scan runs while we measure. */
    tovamod_DeactivateDevicesIdentification();
    ok = Measure("Desk-Port", desk->Device, deskUnit);
    ok = Measure("Radio Master unit", base->Device, radioUnit) && ok;
    ok = Download(logger->Device) && ok;
    tovamod_uninit();
    printf(ok ? "done\n" : "failed\n");
    return ok ? 0 : 1;
}
