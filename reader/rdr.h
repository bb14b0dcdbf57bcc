/* QL-MKV reader SDK: the one public interface of libqlmkv_sdk.so.
 *
 * Every open reader connection is named by a positive integer handle: serial
 * links (serial lines and D2XX devices) from 1, HID links from 10001, LAN
 * links from 20001. Functions return 0 / -1, or a byte count / -1, and keep
 * the reason of a failure in the connection's last error (RdrGetLastError).
 * Nothing is thrown across this interface. */
#ifndef QLMKV_RDR_H
#define QLMKV_RDR_H

#if defined(_WIN32) && defined(QLMKV_SDK_BUILD)
#define RDR_API __declspec(dllexport)
#elif defined(_WIN32)
#define RDR_API
#elif defined(__GNUC__)
#define RDR_API __attribute__((visibility("default")))
#else
#define RDR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Last-error codes set by the library itself; any other non-zero value is a
 * status byte reported by the reader (21: no valid tag, 23: collision,
 * 24: unknown command, ...). */
enum {
  RDR_ERR_NONE = 0,
  RDR_ERR_NOT_OPEN = 3, /* handle names no open connection */
  RDR_ERR_TIMEOUT = 4,  /* no complete reply within a waiting phase */
  RDR_ERR_CAPACITY = 5, /* caller's buffer smaller than the data */
  RDR_ERR_NOTHING_TO_SEND = 8,
  RDR_ERR_CHECKSUM = 10,
  RDR_ERR_EMPTY_REPLY = 12,
  RDR_ERR_MODE = 13,
  RDR_ERR_ADDRESS = 15,
  RDR_ERR_POWER_REPLY = 20,
  RDR_ERR_NO_TAG = 21, /* also: write read-back failed or differed */
  RDR_ERR_COLLISION = 23,
  RDR_ERR_UNKNOWN_COMMAND = 24,
  /* Codes above 255 can never be a reader's status byte. */
  RDR_ERR_REPLY_MISFIT = 256, /* a reply came, but not one this command can have (a late reply of
                                 another command, or a refusal with another reply on its heels) */
  RDR_ERR_BUSY = 257          /* the calling thread is already in an exchange on this connection */
};

/* Where the last error came from (RdrGetLastErrorOrigin). */
enum {
  RDR_ORIGIN_NONE = 0,     /* no failure */
  RDR_ORIGIN_NOT_SENT = 1, /* refused by the library: nothing reached the reader */
  RDR_ORIGIN_EXCHANGE = 2, /* the frame went out; no fitting reply came back (or the caller's buffer
                              was too small for it) */
  RDR_ORIGIN_READER = 3    /* the reader answered with this status */
};

/* Results of RdrOpen other than a handle. */
enum {
  RDR_OPEN_FAILED = -1, /* the link could not be opened */
  RDR_OPEN_BAD_TIMEOUT = -2,
  RDR_OPEN_NO_READER = -11 /* a link opened but no reader answered */
};

int RDR_API RdrOpen(const char* connection, int baudRate, int lineFormat, int timeoutMs);
/* Kinds of link a connection string names (RdrDescribeConnection). */
enum {
  RDR_LINK_DEVICE_FILE = 0, /* a serial line on a terminal device ("/dev/ttyACM0", "COM3") */
  RDR_LINK_D2XX = 1,        /* a D2XX device by its serial number */
  RDR_LINK_HID = 2,
  RDR_LINK_LAN = 3
};
/* What RdrOpen would open for `connection`, without opening it: returns the
 * RDR_LINK_* kind and fills `name` (cut to fit, NUL-terminated) with the
 * device file, the D2XX serial number, the HID name or the LAN address, each
 * without the device address and a list entry's description; -1 without a
 * connection string. */
int RDR_API RdrDescribeConnection(const char* connection, char* name, int capacity);
/* Why the calling thread's last RdrOpen could not open its serial line or USB
 * reader: the device file (or D2XX serial number, or HID name) and the
 * system's reason ("No such file or directory", "Device or resource busy",
 * "not a terminal", "no HID reader of this name"). Returns 1 and fills both,
 * cut to fit and NUL-terminated, when the open failed there; 0 otherwise (no
 * such failure, a LAN link, or a reader that did not answer). */
int RDR_API RdrGetOpenFailure(char* device, int deviceCapacity, char* reason, int reasonCapacity);
int RDR_API RdrClose(int handle);
/* The calling thread's last error on this connection: a failure of another
 * thread on the same handle does not replace it. Every function may be called
 * from any thread; a connection runs one exchange at a time, and a call from
 * the thread that is already in one (an event handler run during a wait) fails
 * at once with RDR_ERR_BUSY. */
int RDR_API RdrGetLastError(int handle);
/* RDR_ORIGIN_* of the calling thread's last error (RDR_ORIGIN_NOT_SENT for an
 * unknown handle). */
int RDR_API RdrGetLastErrorOrigin(int handle);
/* Exchanges in a row that got no fitting reply: a reader that stopped
 * answering, a link that is gone. 0 after any reply; -1 for an unknown handle. */
int RDR_API RdrGetUnansweredCount(int handle);
int RDR_API RdrSetNoWindowLock(int handle, int flag);
int RDR_API RdrIsUsb(int handle);
int RDR_API RdrGetVersion(int handle, unsigned char* data, int capacity, char* modelName, int modelCapacity);
int RDR_API RdrSetMode(int handle, int mode);
int RDR_API RdrInventory(int handle, int param, unsigned char* buffer, int capacity);
int RDR_API RdrSelectTag(int handle, const unsigned char* epc, int epcLength);
int RDR_API RdrReadData(int handle, int bank, int startAddress, unsigned char* buffer, int count);
int RDR_API RdrWriteData(int handle, int bank, int startAddress, const unsigned char* data, int length);
int RDR_API RdrWriteDataPw(int handle, int bank, int startAddress, const unsigned char* password,
                           const unsigned char* data, int length);
int RDR_API RdrLock(int handle, int area, int action, const unsigned char* password);
int RDR_API RdrGetTxPower(int handle, int* power);
int RDR_API RdrSetTxPower(int handle, int power, int thirdByte);
int RDR_API RdrSwitchUsbMode(int handle, int mode);
int RDR_API RdrCommand(int handle, int command, const unsigned char* payload, int payloadLength, unsigned char* buffer,
                       int capacity);
int RDR_API RdrListSerialPorts(char* buffer, int capacity);
int RDR_API RdrListUsbDevices(char* buffer, int capacity);
int RDR_API RdrListLanReaders(char* buffer, int capacity, int readerCheck);
int RDR_API RdrCheckDrivers(void);
int RDR_API IsVirtualComDriverInstalled(void);
int RDR_API RdrPing(const char* address);
int RDR_API RdrLanConfigOpen(const char* address);
int RDR_API RdrLanConfigRead(int handle, int record, unsigned char* buffer, int capacity);
int RDR_API RdrLanConfigClose(int handle, int restart);
int RDR_API RdrSetLanParams(const char* currentAddress, const char* newAddress, const char* subnetMask,
                            const char* gateway);
int RDR_API RdrGetLibraryVersion(void);
int RDR_API RdrHexToBytes(const char* text, unsigned char* buffer, int maxCount);

/* Wait hooks, process-wide.
 *
 * While a reply is awaited the library calls `dispatch` on every waiting pass
 * so that a window thread keeps handling its events. `dispatch` may block until
 * the next event, but for at most `maxBlockMs` milliseconds; the library calls
 * `wake` from the thread that receives reply bytes so that a blocked dispatch
 * returns at once. Without hooks (NULL) the wait blocks on a condition variable
 * that the received-byte path signals. The LAN functions (listing, ping,
 * configuration) call `dispatch` in slices of a few milliseconds while they
 * wait for datagrams, echo replies or a restarting module.
 *
 * Outside cycles (no-window-lock flag clear) the library calls `lockWindow`
 * before a wait and `unlockWindow` with its result after it, on every path: the
 * front end disables its active window and saves the focus, then restores both.
 * The LAN functions hold the lock for their whole run.
 * Any hook may be NULL. `context` is handed back unchanged. */
typedef void (*RdrDispatchHook)(void* context, int maxBlockMs);
typedef void (*RdrWakeHook)(void* context);
typedef void* (*RdrLockWindowHook)(void* context);
typedef void (*RdrUnlockWindowHook)(void* context, void* saved);

void RDR_API RdrSetDispatchHooks(RdrDispatchHook dispatch, RdrWakeHook wake, void* context);
void RDR_API RdrSetWindowLockHooks(RdrLockWindowHook lockWindow, RdrUnlockWindowHook unlockWindow, void* context);

#ifdef __cplusplus
}
#endif

#endif /* QLMKV_RDR_H */
