#!/usr/bin/env bash
# Makes the sound-file fixtures under fixtures/ with sox, sndfile-convert and
# the libsndfile client tools/sfprobe.c, and records what those tools read
# from each file: a raw dump of the samples (16-bit little-endian, as
# `sox F -t s16 -L -` writes it) and the frames, rate, channels, root key and
# loops libsndfile reports (oracle.txt). Every fixture lasts at most 0.1 s.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$here/fixtures"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cc -O1 -o "$work/sfprobe" "$here/tools/sfprobe.c" -lsndfile -lm
probe="$work/sfprobe"

rm -rf "$out"
mkdir -p "$out"
cd "$out"

# sox adds dither when it reduces the sample size; -D keeps runs repeatable.
synth() { sox -D -R "$@"; }

synth -n -r 8000 -b 16 -c 2 s16_stereo.wav synth 0.05 sine 440 sine 660 gain -3
sndfile-convert s16_stereo.wav s16_stereo.aif
synth -n -r 22050 -b 16 -c 1 s16_mono_22050.aif synth 0.02 sine 100 gain -1
synth -n -r 8000 -b 8 -c 1 u8_mono_odd.wav synth 0.012625 sine 300 gain -1
synth -n -r 8000 -b 8 -c 1 --comment odd s8_mono_odd.aif synth 0.012625 sine 300 gain -1
"$probe" u8list u8_list_odd.wav
"$probe" wavex wavex.wav
"$probe" list list_after_data.wav
"$probe" smpl smpl_loop.wav
"$probe" smplalt smpl_alt.wav
# sox cannot compress AIFF-C, so this one is AIFF-C with uncompressed samples.
synth -n -r 8000 -c 1 -b 8 -t aifc aifc_none.aif synth 0.01 sine 300 2>/dev/null
# A writer on a pipe cannot go back to fill in the sizes.
synth -n -r 8000 -b 16 -c 1 -t aiff - synth 0.03 sine 500 | cat > placeholder.aif
# Files the system refuses.
synth -n -r 8000 -c 1 -e a-law alaw.wav synth 0.01 sine 300
sndfile-convert -alaw s16_stereo.aif alaw.aif
synth -n -r 8000 -c 1 -e floating-point -b 32 float32.wav synth 0.01 sine 300
synth -n -r 8000 -c 1 -b 24 s24.wav synth 0.01 sine 300
synth -n -r 8000 -c 3 -b 16 three_ch.wav synth 0.01 sine 300

: > oracle.txt
for f in *.wav *.aif; do
  echo "file $f" >> oracle.txt
  "$probe" probe "$f" >> oracle.txt
  sox -D "$f" -t s16 -L - > "${f}.s16" 2>/dev/null || rm -f "${f}.s16"
done
ls -l "$out"
