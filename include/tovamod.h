/* tovamod: device access library for the Zelto5 family of USB measuring
   interfaces and laboratory instruments. Flat C interface.

   Layout: the records were designed for 32-bit pointers; on 64-bit builds
   pointer fields are 8 bytes wide and the field order stays the same. */
#ifndef TOVAMOD_H
#define TOVAMOD_H

#include <stdint.h>
#include <stdlib.h>

#include "z5widestring.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- hardware structure ------------------------------------------------ */

/* A copy of the library's picture of the attached devices: one root, a doubly
   linked list of device nodes and under each a doubly linked list of sensor
   nodes. 32-bit layout: root 12, device node 28, sensor node 40 bytes. */

typedef struct TSensorStructure TSensorStructure;
typedef struct TDeviceStructure TDeviceStructure;
typedef struct THardwareStructure THardwareStructure;

struct THardwareStructure {
    TDeviceStructure* First;     /* first device node; NULL when there is none */
    uint8_t Changed;             /* 1: changed since the last copy */
    uint8_t RadioMasterPresent;  /* 1: a Radio Master, Desk-Port or Starter-Port is attached */
    uint8_t Reserved1[2];
    uint32_t ScanTime;           /* duration of the last scan in ms */
};

/* Device kinds (TDeviceStructure.Kind). */
enum {
    TOVAMOD_KIND_FIELD_PORT = 2,
    TOVAMOD_KIND_RADIO_MASTER = 4,
    TOVAMOD_KIND_DESK_PORT = 5,
    TOVAMOD_KIND_TIMER62 = 6,
    TOVAMOD_KIND_UNIVERSAL_COUNTER = 7,
    TOVAMOD_KIND_SPEED_OF_LIGHT = 8,
    TOVAMOD_KIND_FUNCTION_GENERATOR = 9,
    TOVAMOD_KIND_XRAY = 10,
    TOVAMOD_KIND_STARTER_PORT = 11
};

struct TDeviceStructure {
    uint8_t Kind;                /* device kind */
    uint8_t Reserved1[3];
    void* Device;                /* device handle */
    uint8_t Active;              /* 1: handed to clients (so 1 in every copy) */
    uint8_t Reserved2[3];
    z5_char16* SerialNo;         /* USB serial number, shared wide string owned by the node */
    TSensorStructure* Sensors;   /* first sensor node; NULL when there is none */
    TDeviceStructure* Next;      /* NULL at the tail */
    TDeviceStructure* Prev;      /* NULL at the head */
};

/* Sensor kinds (TSensorStructure.Kind, and the Status of tovamod_OpenSensor):
   0 a radio sensor unit (of a Radio Master, the wired unit of a Desk-Port or
   Starter-Port) and the data logger's sensor, 1 the Radio Master's own radio
   unit, 8 the speed of light meter, 9 the function generator, 10 the X-ray unit.

   Identity and the three values of a sensor node, as the scan refreshes them:

     device and sensor               Identity      Value1    Value2     Value3
     Radio Master, radio unit (0)    EEPROM 1      param 23  param 21   param 16
     Radio Master, own unit (1)      -1            param 7   0          param 8
     Desk-/Starter-Port unit (0)     EEPROM 1      0         param 22   param 22
                                                             (creation) (each refresh)
     instruments (8, 9, 10)          -1            0         0          0
     data logger (0)                 -1            0         0          0

   "param n" is radio parameter n of the unit, "EEPROM 1" its sensor EEPROM
   value 1; a value whose read failed keeps what it was. */
struct TSensorStructure {
    uint8_t Kind;                /* sensor kind (above) */
    uint8_t Reserved1[3];
    void* Sensor;                /* sensor handle */
    int32_t Identity;            /* identity of a radio unit; -1 until read */
    int32_t Value1;              /* Value1..Value3: see the table above */
    int32_t Value2;
    int32_t Value3;
    int32_t Address;             /* radio address; -99 once ejected from the network */
    int32_t ChannelCount;        /* channel values per sample (0 for the own unit and the logger) */
    TSensorStructure* Next;      /* NULL at the tail */
    TSensorStructure* Prev;      /* NULL at the head */
};

/* ---- networks tree ------------------------------------------------------ */

/* The networks file as a tree: the radio networks, the radio bases of each
   network (by the MAC of their radio unit) with their radio channel, and the
   radio sensor units each base may admit. Every list keeps file order and ends
   with NULL. Strings are shared wide strings (z5_wstr_alloc); NULL reads as
   empty. Booleans are bytes, 0 or 1.
   In every tree every record is allocated on its own with malloc and every
   string with z5_wstr_alloc. A tree handed out by the library stays the
   library's (see tovamod_GetZ5NetsFileStructure); a tree passed in is only
   read. */

typedef struct TZ5_HardLock_Sensor {
    z5_char16* Type;
    z5_char16* MAC_ID;                       /* MAC of the sensor unit */
    struct TZ5_HardLock_Sensor* Next;
} TZ5_HardLock_Sensor;

typedef struct TZ5_HardLock_Device {
    z5_char16* Type;
    z5_char16* MAC_ID;                       /* MAC of the radio base */
    int32_t WChannel;                        /* radio channel of the base */
    struct TZ5_HardLock_Device* Next;
    TZ5_HardLock_Sensor* Sensors;
} TZ5_HardLock_Device;

typedef struct TZ5_HardLock_Network {
    uint8_t Activated;
    uint8_t isQuickLock;
    uint8_t Reserved[2];
    z5_char16* Date;
    z5_char16* Description;
    int32_t PK;
    TZ5_HardLock_Device* Hardwares;
    struct TZ5_HardLock_Network* Next;
} TZ5_HardLock_Network;

typedef struct TZ5_HardLock_Networks {
    z5_char16* Password;
    uint8_t PasswordIsActivated;
    uint8_t Reserved[3];
    TZ5_HardLock_Network* First;
} TZ5_HardLock_Networks;

#ifdef TOVAMOD_INTERNAL
/* Library only: releases every record and string of a tree; NULL is ignored. */
static inline void z5_nets_free(TZ5_HardLock_Networks* tree) {
    TZ5_HardLock_Network* net;
    if (!tree) return;
    net = tree->First;
    while (net) {
        TZ5_HardLock_Network* nextNet = net->Next;
        TZ5_HardLock_Device* dev = net->Hardwares;
        while (dev) {
            TZ5_HardLock_Device* nextDev = dev->Next;
            TZ5_HardLock_Sensor* sen = dev->Sensors;
            while (sen) {
                TZ5_HardLock_Sensor* nextSen = sen->Next;
                z5_wstr_free(sen->Type);
                z5_wstr_free(sen->MAC_ID);
                free(sen);
                sen = nextSen;
            }
            z5_wstr_free(dev->Type);
            z5_wstr_free(dev->MAC_ID);
            free(dev);
            dev = nextDev;
        }
        z5_wstr_free(net->Date);
        z5_wstr_free(net->Description);
        free(net);
        net = nextNet;
    }
    z5_wstr_free(tree->Password);
    free(tree);
}
#endif

/* ---- data logger records ------------------------------------------------ */

/* One file of a data logger, filled by tovamod_Device_GetDLUFileData (Name,
   Size, Date, Valid and, for a valid header, the header fields) and read by
   tovamod_Device_GetDLUValues (Name, ChannelCount). The caller passes an array
   of at least TOVAMOD_DLU_MAX_FILES records. 32-bit layout: 156 bytes.
   Text fields are zero-terminated 8-bit strings allocated by the library with
   malloc; a text the library assigned is never NULL. Before assigning a text
   field the library frees what it holds, so hand in records whose text fields
   are NULL (zero-filled) or were filled by an earlier call; release them with
   z5_dlu_free_texts (or free each). Fields the library does not write keep what
   the caller put there; of the six-entry arrays only the first ChannelCount
   entries are written. */

#define TOVAMOD_DLU_MAX_FILES 201
#define TOVAMOD_DLU_MAX_CHANNELS 6

struct TDLUFileInfo {
    char* Name;                     /* file name from the directory */
    int32_t Size;                   /* the number given with the name */
    char* Line2;                    /* second line of the file header */
    char* Date;                     /* "dd.mm.yy", from the name's leading "yymmdd" */
    char* Line1;                    /* first line of the file header */
    uint8_t ChannelCount;           /* 0..6 */
    uint8_t FileType;
    uint8_t Reserved1[2];
    int32_t TypeNumber;             /* written for file types 0 and 3 only */
    uint8_t TypeDigit;              /* written for file types 0 and 3 only */
    uint8_t Reserved2[3];
    char* ChannelText1[TOVAMOD_DLU_MAX_CHANNELS];
    char* ChannelText2[TOVAMOD_DLU_MAX_CHANNELS];
    char* ChannelUnit[TOVAMOD_DLU_MAX_CHANNELS];  /* "^" given as the degree sign, byte 0xB0 */
    float ChannelValue1[TOVAMOD_DLU_MAX_CHANNELS];
    float ChannelValue2[TOVAMOD_DLU_MAX_CHANNELS];
    uint8_t Valid;                  /* 1: header accepted, 0: rejected */
    uint8_t Reserved3[3];
};
typedef struct TDLUFileInfo TDLUFileInfo;

/* Frees every text of one record and sets the fields to NULL. */
static inline void z5_dlu_free_texts(struct TDLUFileInfo* record) {
    int k;
    if (!record) return;
    free(record->Name);
    free(record->Line2);
    free(record->Date);
    free(record->Line1);
    record->Name = record->Line2 = record->Date = record->Line1 = NULL;
    for (k = 0; k < TOVAMOD_DLU_MAX_CHANNELS; ++k) {
        free(record->ChannelText1[k]);
        free(record->ChannelText2[k]);
        free(record->ChannelUnit[k]);
        record->ChannelText1[k] = record->ChannelText2[k] = record->ChannelUnit[k] = NULL;
    }
}

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

/* ---- device and sensor records ------------------------------------------- */

/* Records that the block reads fill; the caller allocates them. Values are
   unsigned as the device sends them. 32-bit layout: TRTUUParams 28,
   TSensorEEPROMData 44, TRTCUParam 52 bytes. */

/* Device parameters 0 to 13 of a radio base. */
struct TRTUUParams {
    uint16_t Param0;
    uint16_t Param1;
    uint16_t Param2;
    uint16_t Param3;
    uint16_t Param4;             /* address of the base's own radio unit */
    uint16_t Param5;
    uint8_t Param6;              /* radio channel */
    uint8_t Param7;
    uint8_t Param8;
    uint8_t Reserved1;
    float Param9;                /* the 32-bit integer sent, as a float */
    uint16_t Param10;
    uint16_t Param11;            /* hardware kind */
    uint16_t Param12;
    uint8_t Param13;
    uint8_t Reserved2;
};

/* Sensor EEPROM data values 0 to 17 of a radio sensor unit. */
struct TSensorEEPROMData {
    uint8_t Data0;
    uint8_t Data1;               /* the unit's identity */
    uint8_t Reserved1[2];
    uint32_t Data2;
    uint16_t Data3;
    uint8_t Data4;
    uint8_t Reserved2;
    uint32_t Data5;
    uint32_t Data6;
    uint8_t Data7;
    uint8_t Data8;
    uint8_t Data9;
    uint8_t Data10;
    uint8_t Data11;
    uint8_t Reserved3;
    uint16_t Data12;
    uint8_t Data13;
    uint8_t Reserved4[3];
    uint32_t Data14;
    uint32_t Data15;
    uint8_t Data16;
    uint8_t Data17;
    uint8_t Reserved5[2];
};

/* Radio parameters 0 to 28 of a radio sensor unit. Param3 is the unit's MAC
   as 16 upper-case hex digits, a shared wide string: filling the record frees
   the string the field held (pass NULL or such a string), and the new one
   belongs to the record's owner. */
struct TRTCUParam {
    uint16_t Param0;
    uint16_t Param1;
    uint16_t Param2;
    uint8_t Reserved1[2];
    z5_char16* Param3;
    uint16_t Param4;
    uint16_t Param5;
    uint16_t Param6;
    uint8_t Param7;
    uint8_t Reserved2;
    uint16_t Param8;             /* sample period 1 */
    uint16_t Param9;             /* sample period 2 (low 16 bits of the 32 sent) */
    uint8_t Param10;
    uint8_t Reserved3;
    uint16_t Param11;
    uint8_t Param12;
    uint8_t Reserved4;
    uint16_t Param13;
    uint8_t Param14;
    uint8_t Param15;
    uint8_t Param16;
    uint8_t Param17;
    uint8_t Param18;
    uint8_t Param19;
    uint8_t Param20;
    uint8_t Reserved5;
    uint16_t Param21;
    uint8_t Param22;
    uint8_t Param23;
    float Param24;               /* the 32-bit integer sent, as a float */
    uint8_t Param25;
    uint8_t Param26;
    uint8_t Param27;
    uint8_t Param28;             /* channel mask */
};

typedef struct TRTUUParams TRTUUParams;
typedef struct TSensorEEPROMData TSensorEEPROMData;
typedef struct TRTCUParam TRTCUParam;

/* ---- life cycle, listing, hardware structure, networks file ------------ */

/* Results: -1 failure, 0 success, unless said otherwise. Every export returns
   its failure value, and never raises, when it cannot do its work. Exports
   that take a handle, and those that list or open devices or switch
   identification, refuse their call (failure value at once) while the library
   frees sensor objects; call them again later.

   Copies: tovamod_GetHardwareStructure and tovamod_GetZ5NetsFileStructure
   return a copy that the library allocates. A copy stays valid until the same
   thread calls the same export again, or until tovamod_uninit; then the
   library frees it. Clients never free copies. */

/* Creates the library's state and starts the device scan (every 500 ms).
   0, also when already initialised (nothing changes then); -1 on failure, and
   the library stays uninitialised. */
int32_t tovamod_init(void);                                                                   /* 1 */
/* Ends the scan, closes and frees every device; returns once every device's
   threads have ended and no export is still inside one of its objects. 0;
   -1 when not initialised, or when called from a notification handler (on a
   library thread or inside an export). Every handle and every copy is invalid afterwards. */
int32_t tovamod_uninit(void);                                                                 /* 2 */
/* No tracer window exists: 0 when initialised, else -1. */
int32_t tovamod_DisplayTracer(uint8_t Show);                                                  /* 3 */
/* *Name := the type code of device Index: zero-terminated UTF-16 owned by the
   library, valid until the calling thread calls this export again. 0; -1 for
   Index < 0 or >= the count, when not initialised. The type codes:

     "RTUU"     Radio Master
     "DUU"      Desk-Port and Starter-Port
     "DLU"      Field-Port data logger
     "TIMER62"  Timer 6-2
     "UNIZ"     universal counter
     "SOL"      speed of light meter
     "DDS"      function generator and X-ray unit (the node's Kind tells them apart)

   A device whose destruction has begun may give an empty code ("RTUU", "SOL",
   "DDS") or the code it had (the others). */
int32_t tovamod_GetNthAvailableDevice(const z5_char16** Name, int32_t Index);                 /* 4 */
/* Number of device objects; 0 when not initialised, -1 on refusal. */
int32_t tovamod_GetNumberOfAvailableDevice(void);                                             /* 5 */
/* Opens device Index again with these line settings and returns its handle.
   *MaxSensors := its maximum number of sensors (-1 for Index equal to the
   count; untouched for a larger or negative Index). NULL on failure. */
void* tovamod_OpenDevice(int32_t Index, int32_t BaudRate, int32_t FlowControl,
                         int32_t* MaxSensors);                                                /* 6 */
/* Closes the device's USB line; the device's result, -1 for a bad handle. */
int32_t tovamod_CloseDevice(void* Device);                                                    /* 7 */
/* *Sensor := sensor Index of the device (NULL for Index equal to the sensor
   count), the device's line opened again with these settings; *Status := the
   sensor's kind (0 radio unit, 1 base's own radio unit, 8, 9, 10 instruments),
   3 without sensor. 0; -1 with *Status 3 for a bad handle or an Index above
   the count; -1 with *Status unchanged after an internal failure. */
int32_t tovamod_OpenSensor(void* Device, int32_t BaudRate, int32_t FlowControl, int32_t Index,
                           void** Sensor, uint8_t* Status);                                   /* 8 */
/* Does nothing: always -1. */
int32_t tovamod_CloseSensor(void* Sensor);                                                    /* 9 */
/* Installs the library-wide notification handler (a copy of *Handler); Code
   NULL removes it; a NULL Handler changes nothing. Works before tovamod_init
   and survives tovamod_uninit. Install it before using devices. The handler
   runs on a library thread or on the caller's own thread inside an export; it
   may call any export, but tovamod_uninit there gives -1 and ends nothing. */
void tovamod_getProcessData(const TonProcessData* Handler);                                   /* 10 */
/* Switches the device scan off; returns once a running scan has ended. */
void tovamod_DeactivateDevicesIdentification(void);                                           /* 33 */
/* Switches the device scan on again. */
void tovamod_ActivateDevicesIdentification(void);                                             /* 34 */
/* A copy of the hardware structure: the active device nodes (of several
   Starter-Ports only the first) with their sensor nodes, as the last scan that
   ended left them (a copy made while a scan runs shows the scan before; a
   device that scan drops is still listed in it, and exports on its handle
   fail). NULL when not initialised or when the copy cannot be made. The
   library clears its changed flag after each copy, so Changed is 1 in one
   copy per change. */
THardwareStructure* tovamod_GetHardwareStructure(void);                                       /* 40 */
/* 1: the structure counts as processed (Changed 0); 0: as changed again. */
void tovamod_SetHardwareStructureProcessed(uint8_t Processed);                                /* 41 */
/* 1 while a scan rebuilds the structure; 0 when not initialised. */
uint8_t tovamod_GetRefreshingRecordStructure(void);                                           /* 42 */
/* The measurement flag, one for the whole library: 1 from a start "0005,1,\r"
   that went out to a device (answered or not) until a stop "0006,1,\r" to any
   device that takes it, also while another device still streams, or until
   the scan has dropped the last started device (see Measurements). The
   function generator's start and stop leave it as it was. While it is 1 a
   device's change frame (7D 04 0A, three bytes, 7E) calls no handler of
   tovamod_getProcessData; the radio units' short frames still do (see
   Measurements). */
uint8_t tovamod_DevicesInMeasureMode(void);                                                   /* 43 */
/* A copy of the networks tree; NULL when not initialised or on failure. The
   caller may change it (records from malloc, strings from z5_wstr_alloc,
   releasing what it unlinks) and pass it to tovamod_SetZ5NetsFileStructure;
   the library frees what it holds then (see Copies above). */
TZ5_HardLock_Networks* tovamod_GetZ5NetsFileStructure(void);                                  /* 45 */
/* Writes the tree to the networks file (the old file becomes the backup) and
   reloads it. The tree stays the caller's and is only read. A failed save is
   not reported: when the file cannot be written (a folder that cannot be
   written, a backup that is no regular file), the networks file and the
   library's tree stay as they were (tovamod_GetZ5NetsFileStructure still
   gives the old tree; compare it with the one passed to tell), and the backup
   may hold the old file's contents anew. NULL, or a library that is not
   initialised: nothing happens. */
void tovamod_SetZ5NetsFileStructure(const TZ5_HardLock_Networks* Tree);                       /* 46 */
/* *Exists := 1 and *Description := the active network's description, or 0
   and NULL when no network is active. The library frees the previous value of
   *Description (initialise it to NULL); the new string belongs to the caller
   (release it with z5_wstr_free). Not initialised: both left unchanged. */
void tovamod_GetDescriptionActiveNet(uint8_t* Exists, z5_char16** Description);               /* 49 */

/* ---- device and sensor exports ------------------------------------------ */

/* Every device export takes a device handle (TDeviceStructure.Device, or the
   result of tovamod_OpenDevice), every sensor export a sensor handle
   (TSensorStructure.Sensor, or *Sensor of tovamod_OpenSensor). A handle is
   usable while the hardware structure lists it. A NULL handle, a handle of no
   live object of that kind or an object being destroyed gives the failure
   value without touching any device, and so does a call while the library
   frees sensor objects (call again later). No export raises; an internal
   failure gives the failure value too. Failure values: -1 for 32-bit results,
   64-bit -1 for the two 64-bit getters. Results other than the failure value
   are the device class's own (an operation a class does not have gives -1).
   Each export runs on the caller's thread and waits for the device's reply
   (500 ms per attempt, 2 s for the update start and finish), letting the
   caller's window messages run (see the pump hook of the platform library)
   meanwhile; while a firmware step runs, requests to every other device wait.

   Records (TRTUUParams, TRTCUParam, TSensorEEPROMData, the calibration and
   trim arrays, TDLUFileInfo) are the caller's, allocated by it and filled by
   the library. Texts returned through a pointer (const char** or
   const z5_char16**) are the library's: they stay valid until the calling
   thread calls the same export again, or tovamod_uninit. Wide strings
   returned through a z5_char16** variable are the caller's: the library
   frees the variable's previous value (initialise it to NULL) and stores a
   new string, which the caller releases with z5_wstr_free. */

/* ---- measurements ------------------------------------------------------ */

/* Measuring from a client. A measurement is started and stopped with command
   texts of tovamod_Device_SendCmdAndGetResponse; its samples queue on the
   sensor: take the sensor handle from the device's sensor node
   (TSensorStructure.Sensor) or from tovamod_OpenSensor, poll
   tovamod_Sensor_GetNumMeasureAvailable and take each sample with
   tovamod_Sensor_ReadRawMeasurement (Count = the node's ChannelCount; for a
   data logger download the file's ChannelCount).

   Command texts per device kind (type code), "CCCC,V,\r" with V a value:

     kind (type code)            text         what it does
     Radio Master (RTUU),        "0005,1,\r"  start: every radio unit streams; 0
     Desk-Port, Starter-Port                  started, -1 refused (no answer, or
     (DUU), universal counter                 a measurement runs already)
     (UNIZ)                      "0006,1,\r"  stop; 0, -1 when it could not go out
                                              (no reply is awaited)
                                 "0010,1,\r"  the Z request (7D 04 5A 00 00 02 7E),
                                              as the stop
     speed of light meter (SOL)  "0005,1,\r"  start, as above
                                 "0006,1,\r"  stop, as above
                                 "0019,1,\r"  the meter's command 'M'
                                 "0020,1,\r"  the meter's command 'N'
     function generator (DDS,    "0022,1,\r"  command 'Q': its stream starts,
     kind 9)                                  whatever the answer
                                 "0023,1,\r"  command 'R': its stream stops
                                 "0017".."0020", "0024".."0026": the commands
                                              'M'..'P', 'S'..'U'
     X-ray unit (DDS, kind 10)   "0017,V,\r"  command 0x2A with the value byte V;
                                 "0018,V,\r"  0x2B and "0019,V,\r" 0x2C likewise;
                                              no stream: read its values with
                                              tovamod_Sensor_ReadLatestMeasurement
     Timer 6-2 (TIMER62)         "0017,1,\r"  the timer's command 'L'
                                 "0018,1,\r"  the timer's command 'M'; no sensor
     Field-Port (DLU)            "0017,1,\r"  'P', the logger gets ready
                                 "0018,1,\r"  'S', the logger is left; its
                                              measurements come as downloads:
                                              tovamod_Device_GetDLUFileData, then
                                              tovamod_Device_GetDLUValues

   Any other code sends nothing and gives -1. The instruments' commands give 0
   when the device acknowledged them. tovamod_DevicesInMeasureMode is one flag
   for the whole library: 1 from a start "0005,1,\r" that went out to a device
   (answered or not) until a stop "0006,1,\r" to any device that takes it,
   which clears it also while another device still streams (that device's
   samples still queue), and also on a line that was closed meanwhile. The
   function generator's "0022,1,\r" and "0023,1,\r" leave it as it was.

   Order on a radio unit: set its sample period first
   (tovamod_Sensor_SetSamplePeriode Mode 2), then start; while the device
   streams, the requests that would read its stream are refused (-1):
   parameter and EEPROM reads and writes, the sample periods,
   tovamod_Sensor_ReadLatestMeasurement,
   tovamod_Device_GetRTUUParam/SetRTUUParam. The stop, the block reads
   (tovamod_Device_GetRTUUParams, tovamod_Sensor_GetRTCUParams), the range,
   sensor-command and zeroing requests still go out.

   Time of a sample:
   - streams: the frame's time count times the device's sample period, plus
     k periods for the k-th sample of a frame, so times step by the period
     (in the period's unit). The period is one per device: the sample period
     2 last set on any of its radio units (tovamod_Sensor_SetSamplePeriode
     Mode 2, or tovamod_Sensor_SetRtcuParam parameter 9, once the unit took
     it), so every unit of a base is timed by the period set last, not by its
     own; for the speed of light meter device parameter 9
     (tovamod_Device_SetRTUUParam). Times stay 0 until a period is set; the
     function generator's samples keep time 0.
   - data logger downloads, by the file's time mode: 0 the line number (0 for
     the first line) times the file's interval, 3 the line number, 1 the
     seconds from the file's start time to the line's time of day, any other
     mode the line's time field plus 1.
   Values: a stream's samples carry the unit's 16-bit values as sent (a unit
   of identity 18 sends 32-bit values in two frames, which its samples
   combine); a downloaded line carries each field times 1000, rounded (a field
   that is no number gives 0 in time modes 0 and 3).

   The radio units' own notification: a short frame '7' or '8' that ends what
   the reader received calls the handler of tovamod_getProcessData, also while
   a measurement runs.

   Unplugged meanwhile. Until the scan notices (at its next round; it rests
   500 ms between rounds, and does not run while identification is off) the
   device and its sensors stay listed, and a call that must reach the device
   fails. A Radio Master, Desk-Port, Starter-Port, universal counter or
   instrument gives its failure value at once: a start "0005,1,\r" -1 with
   nothing set; a stop "0006,1,\r" -1, still clearing
   what the start set; tovamod_Sensor_SetSamplePeriode -1, the period kept
   as it was; tovamod_Sensor_ReadLatestMeasurement -1; the function
   generator's "0022,1,\r" and "0023,1,\r" -1, its stream started or stopped
   all the same. A data logger's request fails as well (at once, or after its
   reply wait of 500 ms where the line does not yet show that it is gone):
   "0017,1,\r", "0018,1,\r", tovamod_Sensor_ReadLatestMeasurement,
   tovamod_Device_GetDLUFileData and tovamod_Device_GetDLUValues -1.
   Samples already queued stay readable (tovamod_Sensor_GetNumMeasureAvailable,
   tovamod_Sensor_ReadRawMeasurement); no new one comes. When the scan drops
   the device, a stream it ran ends and what its start set is cleared, as a
   stop would (tovamod_DevicesInMeasureMode goes to 0 once no started device
   remains); the device object and its sensor objects are destroyed with
   their queues: from then on every export given their handles returns its
   failure value (tovamod_Sensor_GetNumMeasureAvailable 64-bit -1), and the
   samples not taken before are lost. Take the samples while the sensor is
   listed.

   Calls at the same time on one device: any export may be called from any
   thread. The device's requests take turns: each holds the device (and the
   library's transport lock, shared by all devices) for its whole exchange,
   reply wait included, so a second call waits for the first; a firmware step
   holds the transport lock for the whole step, and every other device's
   requests wait for it. tovamod_Sensor_GetNumMeasureAvailable and
   tovamod_Sensor_ReadRawMeasurement take only the sensor's queue: they may
   run on any thread at any time, also while the device streams or a request
   waits for its reply. tovamod_Sensor_ReadLatestMeasurement runs one at a
   time in the whole library. A data logger's requests during a download
   compete with the download for the logger's bytes: take the lines first. */

/* Firmware stream: made by the client, lent to the library for one
   tovamod_Device_Update call. The library asks its size (low 32 bits used)
   and reads it from its current position; it never positions or frees it. */
typedef struct FirmwareStream {
    void* Context;
    int64_t (*Size)(void* Context);
    /* Reads up to Count bytes into Buffer; returns the number read (0 at the end, <0 on error). */
    int32_t (*Read)(void* Context, void* Buffer, int32_t Count);
} FirmwareStream;

struct TRTUUParams;
struct TRTCUParam;
struct TSensorEEPROMData;
struct TDLUFileInfo;

/* Sends a command text: a four-digit code, a comma, up to three
   comma-terminated values and a carriage return, such as "0025,1,\r"
   (zero-terminated, the caller's). The result of the command the device
   class maps the code to; -1 for a text without carriage return or an
   unknown code (nothing sent). Reply is read by no device class. */
int32_t tovamod_Device_SendCmdAndGetResponse(void* Device, const char* Cmd, int32_t Reply); /* 11 */
/* Mode 1: writes Value to the radio unit as its parameter 8 (2 bytes), the
   first sample period. Mode 2: parameter 9 (4 bytes), the second sample
   period, which also becomes the time step of the samples of every radio
   unit of the device (see Measurements). The sensor keeps the period only
   once the unit took it: result the period kept, -1 when the write failed
   (nothing kept) or for sensors without sample periods. Any other Mode: -1,
   nothing sent. Fails while a measurement runs on the device: set the
   period before the start. */
int32_t tovamod_Sensor_SetSamplePeriode(void* Sensor, int32_t Mode, int32_t Value);      /* 12 */
/* Number of measurements queued on the sensor; 64-bit -1 on failure. */
int64_t tovamod_Sensor_GetNumMeasureAvailable(void* Sensor);                               /* 13 */
/* Takes the oldest queued measurement: *Time := its time (see Measurements),
   Values[0..n-1] := its first n values (n = min(Count, the values it holds));
   0. -1 when the queue is empty (nothing written). Values has room for Count
   entries. */
int32_t tovamod_Sensor_ReadRawMeasurement(void* Sensor, int64_t* Time, int32_t Count, int32_t* Values); /* 14 */
/* Asks the device for the sensor's latest values, outside a measurement; 0 /
   -1. One such read runs at a time in the whole library; -1 when the library
   is not initialised. What Count and Mode mean:
   - radio sensor unit (kind 0): Count 16-bit values into Values[0..Count-1]
     for any Mode but 18. Mode 18, for a unit whose 32-bit values come in two
     halves: Count 5 (four values and a status word), Values needs 5 entries;
     the status word of the first reply tells whether a second reply with
     the low halves follows; then Values[0..3] := high half * 65536 + low
     half and Values[4] := the second status word, and the result is -1 when
     that is 1. A first status word that announces no second reply gives 0
     with Values untouched.
   - speed of light meter (8) and X-ray unit (10): as a radio sensor unit,
     asked at the meter itself (address 0) or at the X-ray unit's address.
   - data logger: Mode is not used; Values[0..n-1] := the first n integers
     of its reply, n the smaller of Count and the number of values it sent
     (none for Count <= 0, and Values may be NULL then); -1 when a value is
     no integer or the reply does not end its line.
   - the Radio Master's own unit (1) and the function generator (9): -1. */
int32_t tovamod_Sensor_ReadLatestMeasurement(void* Sensor, int32_t Count, int32_t* Values, int32_t Mode); /* 15 */
/* Writes radio parameter Param (Size bytes of Value) of the sensor's radio
   unit (for the base's own radio unit, at its own address); 0 / -1. */
int32_t tovamod_Sensor_SetRtcuParam(void* Sensor, int32_t Param, int32_t Size, int32_t Value); /* 16 */
/* Reads radio parameter Param: of a remote radio unit all 64 bits as sent
   (unsigned); of any other sensor (the base's own radio unit) the low 32
   bits, widened with their sign, so a value with bit 31 set is negative.
   64-bit -1 on failure. */
int64_t tovamod_Sensor_GetRtcuParam(void* Sensor, int32_t Param);                          /* 17 */
/* Writes device parameter Param (Size bytes of Value) at address 0; 0 / -1. */
int32_t tovamod_Device_SetRTUUParam(void* Device, int32_t Param, int32_t Size, int32_t Value); /* 18 */
/* Device parameter Param: the low 32 bits of the value read; -1 on failure
   (also the value of a parameter whose low 32 bits are all set). */
int32_t tovamod_Device_GetRTUUParam(void* Device, int32_t Param);                          /* 19 */
/* Writes sensor EEPROM value Param (Size 1..4 bytes of Value); 0 / -1. */
int32_t tovamod_Sensor_SetEEPROMData(void* Sensor, int32_t Param, int32_t Size, int32_t Value); /* 20 */
/* Sensor parameter Param: the low 32 bits of the value read; -1 on failure. */
int32_t tovamod_Sensor_GetSUParam(void* Sensor, int32_t Param);                            /* 21 */
/* *Name := the sensor's type code, library text (see above): "RTCU" for a
   radio sensor unit (kind 0 of a Radio Master, the unit of a Desk-Port or
   Starter-Port), "RCU" for the Radio Master's own unit (kind 1), and the
   empty text for the sensors of the data logger, the speed of light meter,
   the function generator and the X-ray unit; 0. On failure -1 and *Name := an
   empty text (after an internal failure *Name is left as it was). */
int32_t tovamod_Sensor_GetName(void* Sensor, const z5_char16** Name);                      /* 22 */
/* Fills the caller's EEPROM data record (values 0 to 17); the device class's
   result (1 filled), -1 on failure (record untouched). */
int32_t tovamod_Sensor_GetEEPROMData(void* Sensor, struct TSensorEEPROMData* P);           /* 23 */
/* Fills the caller's 15 calibration floats; as tovamod_Sensor_GetEEPROMData. */
int32_t tovamod_Sensor_GetEEPROMDataCal(void* Sensor, float* P);    /* 24: 15 floats */
/* Fills the caller's 10 trim floats; as tovamod_Sensor_GetEEPROMData. */
int32_t tovamod_Sensor_GetEEPROMDataTrim(void* Sensor, float* P);   /* 25: 10 floats */
/* Writes calibration value Param; 0 / -1. */
int32_t tovamod_Sensor_SetEEPROMDataCal(void* Sensor, int32_t Param, float Value);         /* 26 */
/* Writes trim value Param; 0 / -1. */
int32_t tovamod_Sensor_SetEEPROMDataTrim(void* Sensor, int32_t Param, float Value);        /* 27 */
/* Fills the caller's TRTCUParam (radio parameters 0 to 28; Param3 see the
   record); 1 filled, -1 on failure. */
int32_t tovamod_Sensor_GetRTCUParams(void* Sensor, struct TRTCUParam* P);                  /* 28 */
/* Fills the caller's TRTUUParams (device parameters 0 to 13); 1 / -1. */
int32_t tovamod_Device_GetRTUUParams(void* Device, struct TRTUUParams* P);                 /* 29 */
/* *Version := the device's version text, 8-bit, zero-terminated, library text
   (see above): the data logger's "firmware/hardware" (empty when it does not
   answer); empty for the other kinds, which report their versions as device
   parameters 1 (firmware) and 0 (hardware). 0; -1 with *Version unchanged. */
int32_t tovamod_Device_GetVersion(void* Device, const char** Version);                     /* 30 */
/* Data logger: fills P[0..n-1] (room for TOVAMOD_DLU_MAX_FILES records, see
   the record) with its file list; n, -1 on failure. */
int32_t tovamod_Device_GetDLUFileData(void* Device, struct TDLUFileInfo* P);               /* 31 */
/* Data logger: starts the download of file P[Index]; its values come as the
   measurements of the logger's sensor. 0 / -1. */
int32_t tovamod_Device_GetDLUValues(void* Device, struct TDLUFileInfo* P, int32_t Index);  /* 32 */
/* Sets the sensor's range (two bytes); 0 / -1. */
int32_t tovamod_Sensor_SetRange(void* Sensor, int32_t Value1, int32_t Value2);             /* 35 */
/* The sensor's range value of id Value; -1 on failure. */
int32_t tovamod_Sensor_GetRange(void* Sensor, int32_t Value);                              /* 36 */
/* Firmware update, one part in three steps: start, the blocks, finish.
   Address: the target's radio address (0 the device itself, 1 the radio unit
   behind a radio base, 0x0100 the function generator). Results: 0 done; the
   device's error code (1 to 255) when it refused the step; -1 when it gave no
   answer, the arguments do not fit, or for a bad handle. A failed part is
   started again from its start.
   Start: announces part PartIndex of PartCount (1-based) of version
   NewFirmware (major * 256 + minor), FileSize bytes, for DeviceClass and the
   HardwareCount accepted hardware versions at HardwareList (one byte each,
   the caller's; 0 to 120 of them, HardwareList may be NULL for 0). */
int32_t tovamod_Device_Update_Start(void* Device, int32_t Address, int32_t NewFirmware,
                                    int32_t PartIndex, int32_t PartCount, int32_t FileSize,
                                    int32_t DeviceClass, int32_t HardwareCount,
                                    const uint8_t* HardwareList);                          /* 37 */
/* Finish: CheckValue is the CRC-32 of the part (reflected, 0xEDB88320,
   initial value and final XOR 0xFFFFFFFF); the device compares it. */
int32_t tovamod_Device_Update_Finish(void* Device, int32_t Address, int32_t CheckValue);   /* 38 */
/* The blocks: reads the whole part from the stream that *Stream holds (the
   caller's variable; the stream stays the caller's, see FirmwareStream), then
   sends it. A part larger than the device's image (100000 bytes; 500000 for
   the data logger and the speed of light meter), a negative size or a stream
   that cannot be read whole: -1 before anything is sent; size 0: 0. Unused is
   read by no device class (pass 1). */
int32_t tovamod_Device_Update(void* Device, int32_t Address, int32_t Unused,
                              FirmwareStream* const* Stream);                              /* 39 */
/* Sends a sensor command (command byte Value1, 16-bit Value2); 0 / -1. */
int32_t tovamod_Sensor_SetCommand(void* Sensor, int32_t Value1, int32_t Value2);           /* 44 */
/* *Addr := the MAC of the sensor's radio unit as 16 upper-case hex digits,
   "FFFFFFFFFFFFFFFF" when it is not known or on failure; a wide string for
   the caller (see above). */
void tovamod_Sensor_GetRtcuMACExtAddr(void* Sensor, z5_char16** Addr);                     /* 47 */
/* *Addr := the MAC of a radio base family device (Radio Master, Desk-Port,
   the instruments); "FFFFFFFFFFFFFFFF" for other devices (the data logger),
   when it is not known or on failure; a wide string for the caller. */
void tovamod_Device_GetMACExtAddr(void* Device, z5_char16** Addr);                         /* 48 */
/* Sets the sensor's value to zero (one byte Value); 0 / -1. */
int32_t tovamod_Sensor_SetValueToZero(void* Sensor, int32_t Value);                        /* 50 */

#ifdef __cplusplus
}
#endif

#endif
