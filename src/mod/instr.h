// The instrument of an instrument module: here only what the engine reads,
// its voice count.
#pragma once

#include <cstdint>

class KSModul;

class KInstr {
public:
  static constexpr int32_t kMaxVoices = 64;

  explicit KInstr(KSModul* owner);
  virtual ~KInstr() = default;
  KInstr(const KInstr&) = delete;
  KInstr& operator=(const KInstr&) = delete;

  KSModul* GetOwner() const { return owner_; }
  int32_t GetVoices() const { return voices_; }
  // Stores a voice count, held to 1 ... 64.
  void SetVoiceCount(int32_t voices);

private:
  KSModul* owner_;
  int32_t voices_;
};
