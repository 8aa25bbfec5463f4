/* A small libsndfile client: makes the fixtures that need libsndfile's own
 * writer and reports what libsndfile reads from a file.
 *
 *   sfprobe probe FILE          frames rate channels, then each loop
 *   sfprobe smpl FILE           16-bit mono WAV with a forward loop
 *   sfprobe smplalt FILE        the same with an alternating loop
 *   sfprobe wavex FILE          16-bit stereo WAVE_FORMAT_EXTENSIBLE
 *   sfprobe list FILE           16-bit mono WAV with a LIST chunk after the data
 *   sfprobe u8list FILE         8-bit mono WAV, odd length, a LIST chunk after the data
 *   sfprobe s8aiff FILE         8-bit mono AIFF, odd length, a chunk after the samples
 */
#include <math.h>
#include <sndfile.h>
#include <stdio.h>
#include <string.h>

static int probe(const char* path) {
  SF_INFO info;
  memset(&info, 0, sizeof info);
  SNDFILE* f = sf_open(path, SFM_READ, &info);
  if (!f) {
    printf("error %s\n", sf_strerror(NULL));
    return 1;
  }
  printf("frames %lld rate %d channels %d\n", (long long)info.frames, info.samplerate, info.channels);
  SF_INSTRUMENT inst;
  memset(&inst, 0, sizeof inst);
  if (sf_command(f, SFC_GET_INSTRUMENT, &inst, sizeof inst) == SF_TRUE) {
    printf("basenote %d\n", inst.basenote);
    for (int i = 0; i < inst.loop_count; ++i)
      printf("loop %d %u %u\n", inst.loops[i].mode, inst.loops[i].start, inst.loops[i].end);
  }
  sf_close(f);
  return 0;
}

static int make(const char* path, int format, int channels, int frames, int loopMode, const char* title) {
  SF_INFO info;
  memset(&info, 0, sizeof info);
  info.samplerate = 8000;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path, SFM_WRITE, &info);
  if (!f) {
    fprintf(stderr, "%s\n", sf_strerror(NULL));
    return 1;
  }
  if (loopMode >= 0) {
    SF_INSTRUMENT inst;
    memset(&inst, 0, sizeof inst);
    inst.basenote = 64;
    inst.velocity_hi = 127;
    inst.key_hi = 127;
    inst.loop_count = 1;
    inst.loops[0].mode = loopMode;
    inst.loops[0].start = 100;
    inst.loops[0].end = 300;
    inst.loops[0].count = 0;
    sf_command(f, SFC_SET_INSTRUMENT, &inst, sizeof inst);
  }
  short buffer[2 * 800];
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      buffer[i * channels + c] = (short)lrint(20000.0 * sin(2 * M_PI * (440.0 + 110 * c) * i / 8000.0) * (1.0 - 0.001 * i));
  sf_writef_short(f, buffer, frames);
  /* Set after the samples, so the writer puts it behind them. */
  if (title) sf_set_string(f, SF_STR_TITLE, title);
  sf_close(f);
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: sfprobe probe|smpl|smplalt|wavex|list|u8list|s8aiff FILE\n");
    return 2;
  }
  const char* cmd = argv[1];
  const char* path = argv[2];
  if (!strcmp(cmd, "probe")) return probe(path);
  if (!strcmp(cmd, "smpl")) return make(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 400, SF_LOOP_FORWARD, NULL);
  if (!strcmp(cmd, "smplalt")) return make(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 400, SF_LOOP_ALTERNATING, NULL);
  if (!strcmp(cmd, "wavex")) return make(path, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 300, -1, NULL);
  if (!strcmp(cmd, "list")) return make(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 250, -1, "Quorvex fixture");
  if (!strcmp(cmd, "u8list")) return make(path, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 101, -1, "odd");
  if (!strcmp(cmd, "s8aiff")) return make(path, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 101, -1, "odd");
  fprintf(stderr, "unknown command %s\n", cmd);
  return 2;
}
