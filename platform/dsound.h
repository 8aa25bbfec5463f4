// The low-latency output path behind the bridge library: an enumeration of
// devices that begins with the primary entry, and per device one looping
// ring buffer that the device plays from its play cursor onwards while the
// user writes ahead of it through lock and unlock. On ALSA a pump thread
// hands the ring to the PCM from the play cursor; tests use a fake whose
// play cursor they set.
//
// Also here: loading a shared library by file name at run time.
#pragma once

#include "platform/pcm.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct RingDeviceEntry {
  bool primary = false;     // the system's primary entry (no id of its own)
  std::string description;  // what a person sees
  uint8_t id[16] = {};      // the device's id
};

// One looping ring buffer of 44.1 kHz 16-bit stereo frames.
class RingBuffer {
public:
  virtual ~RingBuffer() = default;
  virtual uint32_t Size() const = 0;
  // Locks `bytes` bytes from `offset`: the first region runs to the end of
  // the ring at most, the second (null with 0 bytes when the lock does not
  // wrap) continues at the ring's start. False when the request is invalid.
  virtual bool Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                    uint32_t* secondBytes) = 0;
  virtual void Unlock(void* first, uint32_t firstBytes, void* second, uint32_t secondBytes) = 0;
  // Plays the ring in a loop from the play cursor / stops there.
  virtual void Play() = 0;
  virtual void Stop() = 0;
  // The byte offset the device plays next (a multiple of 4).
  virtual uint32_t PlayCursor() const = 0;
};

class RingSystem {
public:
  virtual ~RingSystem() = default;
  // The primary entry first, then every device.
  virtual std::vector<RingDeviceEntry> Enumerate() = 0;
  // A ring of `bytes` bytes on the device with the given id; null when the
  // device cannot be opened (busy, gone, unknown).
  virtual std::unique_ptr<RingBuffer> Open(const uint8_t id[16], uint32_t bytes) = 0;
};

// The ALSA one: the outputs of the installed wave system.
RingSystem& AlsaRings();
// The installed system (ALSA until another is set).
RingSystem& Rings();
RingSystem* SetRingSystem(RingSystem* system);

// A fake ring system: its devices are named by the test; the play cursor
// moves only when the test sets it.
class FakeRings : public RingSystem {
public:
  void AddDevice(const std::string& description);
  void SetOpenFails(bool fails) { openFails_ = fails; }
  std::vector<RingDeviceEntry> Enumerate() override;
  std::unique_ptr<RingBuffer> Open(const uint8_t id[16], uint32_t bytes) override;

  // The ring opened last (null when none is open).
  class Ring;
  Ring* Current() const { return current_; }

private:
  friend class Ring;
  std::vector<std::string> devices_;
  bool openFails_ = false;
  Ring* current_ = nullptr;
};

class FakeRings::Ring : public RingBuffer {
public:
  Ring(FakeRings& owner, uint32_t bytes) : owner_(owner), data_(bytes) {}
  ~Ring() override;
  uint32_t Size() const override { return uint32_t(data_.size()); }
  bool Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
            uint32_t* secondBytes) override;
  void Unlock(void* first, uint32_t firstBytes, void* second, uint32_t secondBytes) override;
  void Play() override { playing_ = true; }
  void Stop() override { playing_ = false; }
  uint32_t PlayCursor() const override { return cursor_; }

  void SetPlayCursor(uint32_t offset) { cursor_ = offset % Size(); }
  bool IsPlaying() const { return playing_; }
  bool IsLocked() const { return locked_; }
  const std::vector<uint8_t>& Data() const { return data_; }
  // The frame (left, right) at a byte offset.
  int16_t SampleAt(uint32_t byteOffset) const;

private:
  FakeRings& owner_;
  std::vector<uint8_t> data_;
  uint32_t cursor_ = 0;
  bool playing_ = false;
  bool locked_ = false;
};

// A shared library loaded by path.
class DynamicLibrary {
public:
  ~DynamicLibrary();
  // Null when the file is missing or not a loadable library.
  static std::unique_ptr<DynamicLibrary> Load(const std::string& path);
  // Null when the library has no such entry point.
  void* Symbol(const char* name) const;

private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

} // namespace platform
