// The link contract: the byte pipe under one reader connection, which every
// link (serial, D2XX, HID, LAN) implements. A connection owns exactly one
// transport; the transport delivers every received byte to the connection's
// sink as the bytes arrive: from its own worker thread, or, where the link
// allows it, from the waiting exchange's thread itself (ReceiveHere), so a
// waiting exchange never polls. Framing, waits and errors stay in the reader
// core: a transport only moves bytes.
//
// The lowest layer of the SDK: this header includes only the standard library.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qlmkv {

// Line settings of one serial open (terminal device or D2XX). Parity: 'N',
// 'E', 'O', 'M' or 'S' (any case).
struct LineSettings {
  int baudRate = 19200;
  char parity = 'N';
  int dataBits = 8;
  int stopBits = 1;
  // 0 none, 1 hardware (RTS/CTS), 2 XON/XOFF, 3 RTS only; other values: none.
  int handshake = 0;
  // Bytes the port queues for sending; what does not fit is dropped.
  std::size_t writeBufferSize = 512;
};

// Where a link puts what it receives.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Called once per received byte; must be cheap and must not block.
  virtual void OnReceiveChar(std::uint8_t byte) = 0;
  // Several bytes read at once; a sink may take them in one go, so a waiting
  // reader wakes once per read instead of once per byte.
  virtual void OnReceiveBytes(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) OnReceiveChar(data[i]);
  }
  // The device behind the link is gone (unplugged): nothing more will
  // arrive, so a waiting exchange may end at once.
  virtual void OnLinkLost() {}
};

class Transport {
 public:
  virtual ~Transport() = default;

  // Queues or writes a whole frame without waiting for the line. A frame that
  // cannot go out within `timeout` is dropped. Write failures are not reported
  // here; they show up as a reply time-out.
  virtual void Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) = 0;

  // Waits on the calling thread until bytes arrive or `until` has come, and
  // reads them itself: they reach the sink before this returns, so a waiting
  // exchange takes its reply without a hand-over from the worker. `news` is
  // asked once the link is the caller's; when it holds (bytes came before),
  // this returns at once. False when the link cannot be read here now (no
  // such path, not connected, closing): the caller then waits for the
  // worker's delivery instead.
  virtual bool ReceiveHere(std::chrono::steady_clock::time_point /*until*/, const std::function<bool()>& /*news*/) {
    return false;
  }
  // The next wait takes the worker's delivery instead (a wait that handles
  // the front end's events, or one that ReceiveHere declined): a link whose
  // worker rests while callers read it has it watch the link again.
  virtual void LetWorkerDeliver() {}

  // HID links and D2XX serial links count as USB (RdrIsUsb).
  virtual bool IsUsb() const = 0;

  // Closes the link; safe to call twice. After Close no byte reaches the sink.
  // The connection never calls another operation during or after Close.
  virtual void Close() = 0;
};

}  // namespace qlmkv
