// The card's four DMA channels: their buffers, positions, block events and
// transfers, and the time-slot routing of the audio interface.
#pragma once

#include "aw8link/dmamem.h"
#include "aw8link/spciio.h"

#include <atomic>
#include <memory>

namespace aw8 {

inline constexpr int kChannels = 4;
inline constexpr int kRecordChannel = 0;

class AudioDma : public SpciIo {
public:
  AudioDma(uint16_t card, uint16_t mode);
  ~AudioDma() override;

  // Buffers of `blocks` blocks of `words` words for each channel (0 words: no
  // buffer); false when one could not be had.
  bool AllocateBuffers(const uint32_t blocks[kChannels], const uint32_t words[kChannels]);
  // The channel's position in words.
  uint32_t Position(int channel);
  // Block k of the channel (null without a buffer).
  uint32_t* Block(int channel, uint32_t k) const;
  uint32_t BlockWords(int channel) const { return words_[channel]; }
  uint32_t BlockCount(int channel) const { return blocks_[channel]; }
  DmaMem* Buffer(int channel) const { return mem_[channel].get(); }

  // Resets the position and switches the channel's block event on; false
  // when the position does not reset.
  bool EventOn(int channel);
  void EventOff(int channel);
  // Stops the transfers and keeps the positions of channels 0 and 2.
  void StopTransfers();
  void StartTransfers();
  uint32_t StoppedPosition(int channel) const { return stopped_[channel]; }
  // Time-slot routing: bit 0 record, bit 1 play.
  void ProgramSlots(uint32_t selector);

protected:
  // The last block index seen on each channel (service thread; reset by
  // EventOn while the gate is closed).
  std::atomic<uint32_t> last_[kChannels] = {};

private:
  std::unique_ptr<DmaMem> mem_[kChannels];
  uint32_t blocks_[kChannels] = {};
  uint32_t words_[kChannels] = {};
  uint32_t stopped_[kChannels] = {};
};

// The words of the two time-slot lists for a selector (1 record, 2 play, 3 both).
void SlotWords(uint32_t selector, uint32_t first[8], uint32_t second[8]);

} // namespace aw8
