/*
 * RDLK_HID.h - the scanner-access library libRDLK_HID.so for LX2D 2D barcode
 * readers (USB HID, vendor 0x0D2A). Host programs load the library with
 * dlopen, or link it (pkg-config rdlk_hid), and call these functions.
 *
 * Conventions shared by every function:
 *  - A result code (RDLK_RESULT) is 0 for success; the table is below.
 *  - Buffers stay the caller's; the library copies what it keeps. An input
 *    buffer is a pointer and a byte count, an output buffer a pointer, its
 *    capacity in bytes and a pointer to a count that receives the bytes
 *    stored. The count pointer is always required; a buffer pointer is
 *    required whenever its length or capacity is not 0 (a null pointer with
 *    a nonzero length gives RDLK_INVALID_INPUT before anything is read).
 *  - A function with an output count sets it to 0 before doing anything
 *    else, so a failed call leaves 0 there; a call refused with
 *    RDLK_NOT_INITIALIZED or RDLK_NO_DEVICE leaves it untouched.
 *  - Every function except StartDataCapture may be called from any thread;
 *    the library runs one call at a time.
 *  - A fault inside a call (for example a buffer pointer that points
 *    nowhere) is caught: the call returns RDLK_OTHER_ERROR and a record is
 *    appended to ExInfo.dat in the state folder ($LX2D_STATE_DIR).
 *
 * Expected order: Initialize, optionally UsbSettings or DeviceIOControl
 * RDLK_IOCTL_SET_DEVICE_PATH to name the reader, Connect, requests and
 * reads, Disconnect, Deinitialize.
 */
#ifndef RDLK_HID_H_
#define RDLK_HID_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The 16-bit result of every function but HIDEnumDevices, UsbSettings and
 * StartDataCapture. */
typedef uint16_t RDLK_RESULT;

enum {
  RDLK_SUCCESS = 0,
  /* Input rejected: request shorter than its kind's minimum, a
   * DeviceIOControl input of the wrong length or content, a missing
   * pointer. */
  RDLK_INVALID_INPUT = 1,
  /* Output capacity smaller than the data to deliver (the data is kept
   * where the function says so). */
  RDLK_BUFFER_TOO_SMALL = 2,
  /* The settings key could not be opened or created, or "Version" could
   * not be written. */
  RDLK_REGISTRY_ERROR = 3,
  /* Initialize has not succeeded (or Deinitialize was called). */
  RDLK_NOT_INITIALIZED = 7,
  /* Not connected; or Connect opened the reader but could not start its
   * receive thread or the reader did not answer the synchronisation. */
  RDLK_NO_DEVICE = 8,
  /* Connect found no matching reader or could not open it. */
  RDLK_PORT_NOT_AVAILABLE = 9,
  /* The exchange with the reader failed (no acknowledgement, no or bad
   * reply, the reader answered status 1, time-out, or the reader stayed
   * busy with another request for 2 s). */
  RDLK_CONNECTION_LOST = 10,
  /* The configuration dialog was closed without OK (or cannot be shown). */
  RDLK_CANCELLED = 11,
  /* A fault was caught inside the call, or the reader asked for
   * resynchronisation during the request. */
  RDLK_OTHER_ERROR = 12,
  /* DeviceIOControl with an unknown control code. */
  RDLK_UNKNOWN_CONTROL_CODE = 13,
  /* The reader answered the request with status 3. */
  RDLK_READER_STATUS_3 = 14
};

/* A window of the platform's message system (docs/window-messages.md): a
 * number naming the same window in every process; 0 is none and
 * RDLK_HWND_BROADCAST every top-level window. */
typedef uintptr_t RDLK_HWND;
#define RDLK_HWND_BROADCAST ((RDLK_HWND)0xFFFF)

/* Registered window messages the library posts to the host window named by
 * MessageIdentify (their numbers: RegisterWindowMessage of the name).
 *  WM_VSCP_FRAME              a report was buffered; wParam its frame kind
 *                             (0x60..0x64, 0x71); lParam id << 24 | length
 *  WM_RAW_DATA                bytes outside frames were buffered; wParam 0;
 *                             lParam their count
 *  WM_MULTIFRAME_IN_PROGRESS  a later frame of a long reply arrived; wParam
 *                             last-frame mark << 8 | kind; lParam
 *                             id << 24 | bytes so far
 *  WM_LOWLEVEL                the reader sent ABDN, SYDN, NAK or BUSY;
 *                             wParam the code; lParam id << 24 | data byte */
#define RDLK_WM_VSCP_FRAME "WM_VSCP_FRAME"
#define RDLK_WM_RAW_DATA "WM_RAW_DATA"
#define RDLK_WM_MULTIFRAME_IN_PROGRESS "WM_MULTIFRAME_IN_PROGRESS"
#define RDLK_WM_LOWLEVEL "WM_LOWLEVEL"

/* Control codes of DeviceIOControl. Integers in inputs and outputs are
 * 32-bit little-endian; "timeout" is in milliseconds. */
enum {
  /* Input ignored. Output: the payloads of every buffered report of the
   * kind, concatenated; a report that does not fit is skipped and makes the
   * result RDLK_BUFFER_TOO_SMALL. All reports of the kind are removed. */
  RDLK_IOCTL_TAKE_ALL_BARCODES = 256,    /* BCD 0x60 */
  RDLK_IOCTL_TAKE_ALL_BARCODES_EX = 257, /* BCDEX 0x64 */
  RDLK_IOCTL_TAKE_ALL_EVENTS = 258,      /* EVT 0x61 */
  /* Input: the device path to connect to, zero-terminated, 1..259 bytes.
   * No output. */
  RDLK_IOCTL_SET_DEVICE_PATH = 260,
  /* Input: timeout (4). Output: status (4; 0 or a system error code) and
   * the byte (1); length 5. Reads one byte of the reader's input. */
  RDLK_IOCTL_READ_BYTE = 512,
  /* Input: timeout (4). Output: 0 (4), then 0 (2) / 0 (4); length 6 / 8. */
  RDLK_IOCTL_READ_WORD = 513,
  RDLK_IOCTL_READ_LONG = 514,
  /* Input: timeout (4), then the value (1 / 2 / 4). Output: 0 (4). */
  RDLK_IOCTL_WRITE_BYTE = 515,
  RDLK_IOCTL_WRITE_WORD = 516,
  RDLK_IOCTL_WRITE_LONG = 517,
  /* Input: timeout (4), then at least one data byte, sent to the reader as
   * they are. Output: 0 (4) when every byte was written, else non-zero (the
   * system error code; 255: no reader open). */
  RDLK_IOCTL_WRITE_BUFFER = 518,
  /* Input: 1 byte, 0: hold the receive thread (the caller keeps the link
   * for itself, for READ_BYTE and WRITE_BUFFER), 1: let it run again. */
  RDLK_IOCTL_RECEIVE_THREAD = 519,
  /* Input: 1 byte, 0: close the spy window, 1: open it. */
  RDLK_IOCTL_SPY_WINDOW = 520,
  /* Input: a value (4). Output: the same value (4). */
  RDLK_IOCTL_ECHO = 522,
  /* Input: control code to send (1), control code expected (1), data byte
   * (1). Output: 0 (4) when the expected code came back, else 1. */
  RDLK_IOCTL_CONTROL_EXCHANGE = 524
};

/* The host's data capture function: a payload of a received report, or a
 * chunk of raw bytes, just before its window message is posted. Runs on the
 * library's receive thread (or on the thread of a request in progress); the
 * answer is ignored. */
typedef int32_t (*RDLK_CAPTURE_CALLBACK)(unsigned char* data, uint32_t length);

/* --- Life cycle ---------------------------------------------------------- */

/* Reads the library's settings from the registry key `keyPath` ("HKCU\..."
 * for the user's hive, "HKLM\..." or no prefix for the machine's), or writes
 * the defaults there when the key is new or from another library version.
 * `*initialized` becomes 1 on success, 0 otherwise.
 * RDLK_SUCCESS, RDLK_REGISTRY_ERROR, RDLK_INVALID_INPUT (null pointer). */
RDLK_RESULT Initialize(const char* keyPath, unsigned char* initialized);

/* Marks the library uninitialised; a connection stays as it is. Always 0. */
RDLK_RESULT Deinitialize(void);

/* Lets the user choose the reader. RDLK_CANCELLED: no dialog can be shown
 * (or it was cancelled); RDLK_REGISTRY_ERROR; RDLK_NOT_INITIALIZED. */
RDLK_RESULT ConfigurationDialog(void);

/* Opens the reader named by RDLK_IOCTL_SET_DEVICE_PATH, else the one whose
 * description equals the UsbSettings text, starts the receive thread and
 * synchronises with the reader. RDLK_SUCCESS; RDLK_PORT_NOT_AVAILABLE (no
 * such reader, or it cannot be opened); RDLK_NO_DEVICE (the reader did not
 * answer; it is closed again); RDLK_NOT_INITIALIZED. */
RDLK_RESULT Connect(void);

/* Stops the receive thread and closes the reader; buffered data stays.
 * Always 0, also when nothing is connected. */
RDLK_RESULT Disconnect(void);

/* --- Requests ------------------------------------------------------------- */

/* One request and its reply: the request bytes go to the reader in a frame
 * of the function's kind; the reply's payload is copied to `reply`.
 * Minimum request lengths: SetupRead 2, SetupWrite 3, StatusRead 2,
 * ControlCommand 2, SetupRangeRead 2, ControlRangeRead 2,
 * SetupPermissionRead 2, SetupPermissionWrite 3, StatusPermissionRead 2,
 * StatusPermissionWrite 3, ControlPermissionRead 2, ControlPermissionWrite 3,
 * ImageDataRead 1, GenericVSCPRequest 2.
 * RDLK_SUCCESS; RDLK_INVALID_INPUT (too short, missing pointer);
 * RDLK_BUFFER_TOO_SMALL (the reply does not fit: it is dropped, the reader
 * has carried the request out); RDLK_CONNECTION_LOST; RDLK_OTHER_ERROR;
 * RDLK_READER_STATUS_3; RDLK_NOT_INITIALIZED; RDLK_NO_DEVICE. */
RDLK_RESULT SetupRead(const unsigned char* request, uint32_t requestLength, unsigned char* reply,
                      uint32_t replyCapacity, uint32_t* replyLength);
RDLK_RESULT SetupWrite(const unsigned char* request, uint32_t requestLength, unsigned char* reply,
                       uint32_t replyCapacity, uint32_t* replyLength);
RDLK_RESULT StatusRead(const unsigned char* request, uint32_t requestLength, unsigned char* reply,
                       uint32_t replyCapacity, uint32_t* replyLength);
RDLK_RESULT ControlCommand(const unsigned char* request, uint32_t requestLength,
                           unsigned char* reply, uint32_t replyCapacity, uint32_t* replyLength);
RDLK_RESULT SetupRangeRead(const unsigned char* request, uint32_t requestLength,
                           unsigned char* reply, uint32_t replyCapacity, uint32_t* replyLength);
RDLK_RESULT ControlRangeRead(const unsigned char* request, uint32_t requestLength,
                             unsigned char* reply, uint32_t replyCapacity, uint32_t* replyLength);
RDLK_RESULT SetupPermissionRead(const unsigned char* request, uint32_t requestLength,
                                unsigned char* reply, uint32_t replyCapacity,
                                uint32_t* replyLength);
RDLK_RESULT SetupPermissionWrite(const unsigned char* request, uint32_t requestLength,
                                 unsigned char* reply, uint32_t replyCapacity,
                                 uint32_t* replyLength);
RDLK_RESULT StatusPermissionRead(const unsigned char* request, uint32_t requestLength,
                                 unsigned char* reply, uint32_t replyCapacity,
                                 uint32_t* replyLength);
RDLK_RESULT StatusPermissionWrite(const unsigned char* request, uint32_t requestLength,
                                  unsigned char* reply, uint32_t replyCapacity,
                                  uint32_t* replyLength);
RDLK_RESULT ControlPermissionRead(const unsigned char* request, uint32_t requestLength,
                                  unsigned char* reply, uint32_t replyCapacity,
                                  uint32_t* replyLength);
RDLK_RESULT ControlPermissionWrite(const unsigned char* request, uint32_t requestLength,
                                   unsigned char* reply, uint32_t replyCapacity,
                                   uint32_t* replyLength);
RDLK_RESULT ImageDataRead(const unsigned char* request, uint32_t requestLength,
                          unsigned char* reply, uint32_t replyCapacity, uint32_t* replyLength);
/* A generic request (GIRQ); `first` and `second` (their low 8 bits) go in
 * the frame's extension field. */
RDLK_RESULT GenericVSCPRequest(uint32_t first, uint32_t second, const unsigned char* request,
                               uint32_t requestLength, unsigned char* reply, uint32_t replyCapacity,
                               uint32_t* replyLength);

/* --- Buffered data -------------------------------------------------------- */

/* The oldest buffered report of the function's kind (GetBarcodeData BCD,
 * GetBarcodeDataEx BCDEX, GetBarcodeDataEx2 BCDEX2, GetEventNotification
 * EVT, GetSetupBarcodeData SBCD, GetImageData IDTA), removed from the
 * buffer; none: RDLK_SUCCESS with length 0. RDLK_BUFFER_TOO_SMALL leaves the
 * report buffered. GetRawData takes all raw bytes at once or none.
 * RDLK_CONNECTION_LOST when the buffers stayed busy for 2 s. */
RDLK_RESULT GetBarcodeData(unsigned char* output, uint32_t capacity, uint32_t* length);
RDLK_RESULT GetBarcodeDataEx(unsigned char* output, uint32_t capacity, uint32_t* length);
RDLK_RESULT GetBarcodeDataEx2(unsigned char* output, uint32_t capacity, uint32_t* length);
RDLK_RESULT GetEventNotification(unsigned char* output, uint32_t capacity, uint32_t* length);
RDLK_RESULT GetSetupBarcodeData(unsigned char* output, uint32_t capacity, uint32_t* length);
RDLK_RESULT GetImageData(unsigned char* output, uint32_t capacity, uint32_t* length);
RDLK_RESULT GetRawData(unsigned char* output, uint32_t capacity, uint32_t* length);

/* --- Notification and diagnostics ----------------------------------------- */

/* Where the window messages go (0: broadcast) and the identifier carried in
 * bits 24..31 of their lParam. RDLK_SUCCESS, RDLK_NOT_INITIALIZED. */
RDLK_RESULT MessageIdentify(RDLK_HWND window, unsigned char id);

/* "RDLK_HID:1.0.9.0" with its terminating zero; `*length` 16. Needs a
 * capacity of 18 (RDLK_BUFFER_TOO_SMALL below). GetLibraryVersion is the
 * same function. */
RDLK_RESULT GetDllVersion(char* output, uint32_t capacity, uint32_t* length);
RDLK_RESULT GetLibraryVersion(char* output, uint32_t capacity, uint32_t* length);

/* Low-level and collecting operations by control code (RDLK_IOCTL_*).
 * RDLK_SUCCESS; RDLK_INVALID_INPUT (input of the wrong length or content);
 * RDLK_BUFFER_TOO_SMALL (the output cannot hold what the code returns);
 * RDLK_UNKNOWN_CONTROL_CODE; RDLK_CONNECTION_LOST; RDLK_NOT_INITIALIZED. */
RDLK_RESULT DeviceIOControl(uint32_t code, const void* input, uint32_t inputLength, void* output,
                            uint32_t outputCapacity, uint32_t* outputLength);

/* --- Reader selection ----------------------------------------------------- */

/* 1 when the index-th attached reader (from 0) exists, with its description
 * (product string, a blank and the serial number) copied to `output` when
 * that is not null (room for 520 bytes); 0 when there is none (output left
 * as it is). A reader this or another program holds open is not listed. */
int HIDEnumDevices(int index, char* output);

/* The description of the reader Connect shall open (as HIDEnumDevices gives
 * it); longer texts are cut to 259 bytes. */
void UsbSettings(const char* selection);

/* enable non-zero: capture on, and `callback` (when not null) receives every
 * buffered report and raw chunk; enable 0: capture off and the callback
 * forgotten. Always 1. Call it while no data can arrive (before Connect). */
int StartDataCapture(int enable, RDLK_CAPTURE_CALLBACK callback);

#ifdef __cplusplus
}
#endif

#endif /* RDLK_HID_H_ */
