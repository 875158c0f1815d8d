#!/usr/bin/env bash
# Regenerates the audio test fixtures and fixtures.tsv in this folder.
# Needs: sox, lame, flac/metaflac, mpg123, ffmpeg (built with libvorbis and libopus, as
# Debian's is), jmac (Debian's libjmac-java), /usr/bin/python3 with mutagen.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"
export LC_ALL=C.UTF-8 PYTHONUTF8=1
PY=/usr/bin/python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# tone NAME SECONDS RATE CHANNELS FREQ [BITS] -> $tmp/NAME.aiff: sine at exactly half of full
# scale (2^(BITS-1) / 2), same on every channel. Computed here rather than with sox's synth,
# whose samples stray up to ~4 % from a true sine at low rates; sox only wraps the integers in
# AIFF (without a comment chunk, which flac would warn about).
tone() {
  "$PY" - "$@" <<'EOF' | sox -D -t raw -e signed -b "${6:-16}" -L -r "$3" -c "$4" - --comment "" "$tmp/$1.aiff"
import math, sys
secs, rate, ch, freq = float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
bits = int(sys.argv[6]) if len(sys.argv) > 6 else 16
amp, width = 2 ** (bits - 1) / 2, bits // 8
out = bytearray()
for i in range(round(secs * rate)):
    out += round(amp * math.sin(2 * math.pi * freq * i / rate)).to_bytes(width, "little", signed=True) * ch
sys.stdout.buffer.write(out)
EOF
}

# mp3 TONE OUT LAME-OPTS... ; flac_enc TONE OUT FLAC-OPTS... (TONE as named in tone)
# mp3 also checks the gapless header is there unless -t was given: lame silently leaves it
# out when a CBR frame is too small for it (e.g. 48 kbit/s or less at 22.05 kHz mono).
mp3() {
  local w=$1 o=$2 want=yes got=no; shift 2
  lame --quiet "$@" "$tmp/$w.aiff" "$o"
  [[ " $* " == *" -t "* ]] && want=no
  grep -a -q -E 'Xing|Info' <(head -c 48 "$o") && got=yes
  [ $want = $got ] || { echo "$o: Xing/Info header present: $got, wanted: $want" >&2; exit 1; }
}
flac_enc() { local w=$1 o=$2; shift 2; flac --silent --force --best --no-padding "$@" -o "$o" "$tmp/$w.aiff"; }

# id3 FILE V2VERSION ENCODING TITLE ARTIST ALBUM: replace all tags by a fresh ID3v2 (no ID3v1).
id3() {
  "$PY" - "$@" <<'EOF'
import sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB
path, ver, enc, title, artist, album = sys.argv[1:]
t = ID3()
for cls, text in ((TIT2, title), (TPE1, artist), (TALB, album)):
    t.add(cls(encoding=int(enc), text=[text]))
t.save(path, v2_version=int(ver), v1=0)
EOF
}

# Frames a decoder yields from an MP3 with no gapless header: every MPEG frame in full.
# mpg123 --no-gapless decodes all frames; bytes / (2 bytes * channels) = MPEG frames * 1152 (or 576).
# The ffprobe -count_frames check at the end counts the MPEG frames a second way.
all_frames() { echo $(( $(mpg123 --quiet --no-gapless -s "$1" | wc -c) / (2 * $2) )); }

rows=()
row() { rows+=("$(printf '%s\t' "$@")"); }   # file type rate channels frames freq peak

# --- engine / length exactness -------------------------------------------------
# CBR 128k with LAME/Info header (gapless length known) and plain ID3v2.3 tags.
tone t440 3.0 44100 2 440
mp3 t440 cbr-440.mp3 -b 128
id3 cbr-440.mp3 3 0 "Tone 440" "ZUNA Tests" "Fixtures"
row cbr-440.mp3 MP3 44100 2 132300 440 0.5

# VBR with Xing + LAME header.
tone t660 3.0 44100 2 660
mp3 t660 vbr-660.mp3 -V 4
id3 vbr-660.mp3 3 0 "Tone 660" "ZUNA Tests" "Fixtures"
row vbr-660.mp3 MP3 44100 2 132300 660 0.5

# VBR with no Xing/Info/LAME header: length only by counting frames, no gapless trim.
tone t550 3.0 44100 2 550
mp3 t550 vbr-noxing-550.mp3 -V 4 -t
row vbr-noxing-550.mp3 MP3 44100 2 "$(all_frames vbr-noxing-550.mp3 2)" 550 0.5

# Header-less CBR behind a ~100 KB cover picture: the tag must not be taken for audio.
tone t330 2.0 44100 1 330
mp3 t330 cbr-noinfo-330-cover.mp3 -b 64 -t
"$PY" - cbr-noinfo-330-cover.mp3 <<'EOF'
import hashlib, struct, sys, zlib
from mutagen.id3 import ID3, APIC, TIT2
# 184x184 RGB noise PNG (~100 KB); stored zlib blocks so the bytes don't depend on the zlib build.
w = h = 184
noise = b"".join(hashlib.sha256(b"zuna-cover-%d" % i).digest() for i in range(w * h * 3 // 32 + 1))
raw = b"".join(b"\0" + noise[y * w * 3:(y + 1) * w * 3] for y in range(h))
chunk = lambda k, d: struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(raw, 0)) + chunk(b"IEND", b""))
t = ID3()
t.add(TIT2(encoding=0, text=["Tone 330"]))
t.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=png))
t.save(sys.argv[1], v2_version=3, v1=0)
EOF
row cbr-noinfo-330-cover.mp3 MP3 44100 1 "$(all_frames cbr-noinfo-330-cover.mp3 1)" 330 0.5

# MPEG-2 Layer III (576 samples per frame) with LAME header.
tone t1000m 2.0 22050 1 1000
mp3 t1000m mpeg2-22k-mono.mp3 -b 64
row mpeg2-22k-mono.mp3 MP3 22050 1 44100 1000 0.5

# 16-bit stereo FLAC with Vorbis comments.
tone t880 2.0 44100 2 880
flac_enc t880 flac16-880.flac -T "TITLE=Tone 880" -T "ARTIST=ZUNA Tests" -T "ALBUM=Fixtures"
row flac16-880.flac FLAC 44100 2 88200 880 0.5

# 24-bit 48 kHz FLAC.
tone t1000f 2.0 48000 1 1000 24
flac_enc t1000f flac24-1000.flac
row flac24-1000.flac FLAC 48000 1 96000 1000 0.5

# A track shorter than 100 ms.
tone t50ms 0.05 44100 1 440
flac_enc t50ms short-50ms.flac
row short-50ms.flac FLAC 44100 1 2205 440 0.5

# 6 s track for "seconds left" checks; 8 kHz keeps it tiny.
tone t500 6.0 8000 1 500
flac_enc t500 long-6s-8k.flac
row long-6s-8k.flac FLAC 8000 1 48000 500 0.5

# Two short tracks for play-through (first ends, second starts).
tone t1200 1.0 22050 1 1200
flac_enc t1200 two-a-1200.flac -T "TITLE=First" -T "ARTIST=ZUNA Tests"
row two-a-1200.flac FLAC 22050 1 22050 1200 0.5
tone t1500 1.0 22050 1 1500
flac_enc t1500 two-b-1500.flac -T "TITLE=Second" -T "ARTIST=ZUNA Tests"
row two-b-1500.flac FLAC 22050 1 22050 1500 0.5

# --- gapless joins ---------------------------------------------------------------------
# One 2.5 s tone at 44.1 kHz stereo cut in two at frame 54556 (1.2371 s: no MPEG frame or
# FLAC block edge), as FLAC and as MP3 with LAME gapless headers. Played one after the
# other, the halves must join with not a frame lost, repeated or added between them.
tone t990j 2.5 44100 2 990
sox -D "$tmp/t990j.aiff" --comment "" "$tmp/joina.aiff" trim 0 54556s
sox -D "$tmp/t990j.aiff" --comment "" "$tmp/joinb.aiff" trim 54556s
flac_enc joina join-a.flac -T "TITLE=Join A"
flac_enc joinb join-b.flac -T "TITLE=Join B"
mp3 joina join-a.mp3 -V 2
mp3 joinb join-b.mp3 -V 2
row join-a.flac FLAC 44100 2 54556 990 0.5
row join-b.flac FLAC 44100 2 55694 990 0.5
row join-a.mp3 MP3 44100 2 54556 990 0.5
row join-b.mp3 MP3 44100 2 55694 990 0.5

# --- tags (all 0.5 s of 440 Hz, 22050 Hz mono; MP3s are MPEG-2 with LAME header) -----
tone tag 0.5 22050 1 440

# ID3v2.3 with UTF-16 text frames.
mp3 tag id3v23-utf16.mp3 -b 64
id3 id3v23-utf16.mp3 3 1 "Café Grüße – ½" "Zoë Ørsted" "Ünïcödé"
row id3v23-utf16.mp3 MP3 22050 1 11025 440 0.5

# ID3v2.4 with UTF-8 text frames, including a non-BMP character.
mp3 tag id3v24-utf8.mp3 -b 64
id3 id3v24-utf8.mp3 4 3 "Песня" "東京の歌手" "🎵 Album"
row id3v24-utf8.mp3 MP3 22050 1 11025 440 0.5

# Only an ID3v1 tag at the end of the file.
mp3 tag id3v1-only.mp3 -b 64 --id3v1-only --tt "Old Title" --ta "Old Artist" --tl "Old Album"
row id3v1-only.mp3 MP3 22050 1 11025 440 0.5

# No tag at all: the reader must fall back (e.g. to the file name).
mp3 tag no-tags.mp3 -b 64
row no-tags.mp3 MP3 22050 1 11025 440 0.5

# Whitespace-only title and an artist with a leading blank.
mp3 tag blank-title.mp3 -b 64
id3 blank-title.mp3 4 3 "   " " Leading Blank" "Fixtures"
row blank-title.mp3 MP3 22050 1 11025 440 0.5

# Two ARTIST comments in one FLAC.
flac_enc tag two-artists.flac -T "ARTIST=First Artist" -T "ARTIST=Second Artist" -T "TITLE=Duet"
row two-artists.flac FLAC 22050 1 11025 440 0.5

# Lower-case Vorbis field name; field names are case-insensitive.
flac_enc tag lowercase-key.flac
metaflac --set-tag="title=lower case key" lowercase-key.flac
row lowercase-key.flac FLAC 22050 1 11025 440 0.5

# Comments present but none the player shows.
flac_enc tag other-tags-only.flac -T "GENRE=Test" -T "COMMENT=nothing else"
row other-tags-only.flac FLAC 22050 1 11025 440 0.5

# FLAC content behind an .mp3 name: type must come from the bytes, not the extension.
flac_enc tag flac-named.mp3 -T "TITLE=Disguised FLAC"
row flac-named.mp3 FLAC 22050 1 11025 440 0.5

# --- other formats, through FFmpeg ----------------------------------------------------
# ff TONE OUT ENCODER-OPTS...: TONE encoded by ffmpeg, with no encoder or version name written
# (bitexact), so that the bytes stay the same from run to run.
ff() { local w=$1 o=$2; shift 2; ffmpeg -nostdin -v error -y -i "$tmp/$w.aiff" -map_metadata -1 \
         -fflags +bitexact -flags:a +bitexact "$@" "$o"; }
# tags TITLE ARTIST: sets tag_options, to be given to ff as "${tag_options[@]}".
tags() { tag_options=(-metadata "title=$1" -metadata "artist=$2" -metadata "album=Formats"); }

# Ogg Vorbis and Opus (Ogg and WebM): priming and end trimming from granules and the codec delay.
# 1.5 s, so that the audio spans two Ogg pages: with all of it in one, ffmpeg cannot tell
# where the first packet lies and loses the last 128 samples.
tone t660o 1.5 44100 2 660
tags "Vorbis Tone" "Ogg Artist"
ff t660o vorbis-660.ogg -c:a libvorbis -q:a 2 "${tag_options[@]}"
row vorbis-660.ogg UNKNOW 44100 2 66150 660 0.5
tone t880o 1.0 48000 2 880
tags "Opus Tone" "Opus Artist"
ff t880o opus-880.opus -c:a libopus -b:a 64k "${tag_options[@]}"
row opus-880.opus UNKNOW 48000 2 48000 880 0.5
ff t880o opus-880.webm -c:a libopus -b:a 64k -dash 0
row opus-880.webm UNKNOW 48000 2 48000 880 0.5
# AAC and ALAC in MP4: the encoder delay and padding from the edit list (the AAC file with its
# index before the audio, as most music files have it, so that a cut copy keeps it). ffmpeg states the
# edit list in the movie's time scale, a millisecond unless told: at the sample rate, it is
# exact, as iTunes and other encoders write it.
tone t440a 1.0 44100 2 440
tags "AAC Tone" "Ünïcödé Artist"
ff t440a aac-440.m4a -c:a aac -b:a 96k -movie_timescale 44100 -movflags +faststart "${tag_options[@]}"
row aac-440.m4a UNKNOW 44100 2 44100 440 0.5
# No edit list, but iTunes' gapless record (iTunSMPB: priming, padding, sample count), as
# iTunes and other encoders write it: the same tone, the same exact length.
ff t440a aac-itunes-440.m4a -c:a aac -b:a 96k -use_editlist 0
"$PY" - aac-itunes-440.m4a 44100 <<'EOF2'
import sys
from mutagen.mp4 import MP4, MP4FreeForm
m = MP4(sys.argv[1])
total, priming = int(sys.argv[2]), 1024  # ffmpeg's AAC encoder primes with one frame
padding = -(total + priming) % 1024
m["----:com.apple.iTunes:iTunSMPB"] = [MP4FreeForm(
    (" 00000000 %08X %08X %016X" % (priming, padding, total) + " 00000000" * 8).encode())]
m["\xa9nam"] = ["iTunes Gapless"]
m.save()
EOF2
row aac-itunes-440.m4a UNKNOW 44100 2 44100 440 0.5
tone t1000a 0.5 44100 2 1000
tags "ALAC Tone" "Lossless Artist"
ff t1000a alac-1000.m4a -c:a alac -movie_timescale 44100 "${tag_options[@]}"
row alac-1000.m4a UNKNOW 44100 2 22050 1000 0.5
# WAV: 16-bit with RIFF INFO tags; 24-bit as WAVE_FORMAT_EXTENSIBLE; float with an ID3 chunk;
# 8-bit unsigned. AIFF with an ID3 chunk; AIFF-C with float samples.
tone t440w 0.5 22050 1 440
tags "WAV Tone" "RIFF Artist"
ff t440w pcm16-440.wav -c:a pcm_s16le "${tag_options[@]}"
row pcm16-440.wav UNKNOW 22050 1 11025 440 0.5
tone t550w 0.25 48000 2 550 24
ff t550w pcm24-550.wav -c:a pcm_s24le
row pcm24-550.wav UNKNOW 48000 2 12000 550 0.5
ff t440w float-440.wav -c:a pcm_f32le
"$PY" - float-440.wav <<'EOF2'
import sys
from mutagen.wave import WAVE
from mutagen.id3 import TIT2, TPE1
w = WAVE(sys.argv[1])
w.add_tags()
w.tags.add(TIT2(encoding=3, text=["WAV ID3 Tone"]))
w.tags.add(TPE1(encoding=3, text=["ID3 Artist"]))
w.save()
EOF2
row float-440.wav UNKNOW 22050 1 11025 440 0.5
tone t500u 0.5 8000 1 500
ff t500u u8-500.wav -c:a pcm_u8
row u8-500.wav UNKNOW 8000 1 4000 500 0.5
tone t770f 0.5 44100 1 770
tags "AIFF Tone" "AIFF Artist"
ff t770f pcm16-770.aiff -c:a pcm_s16be -write_id3v2 1 "${tag_options[@]}"
row pcm16-770.aiff UNKNOW 44100 1 22050 770 0.5
ff t770f float-770.aifc -c:a pcm_f32be -f aiff
row float-770.aifc UNKNOW 44100 1 22050 770 0.5
# WavPack with an APE tag.
tone t330v 0.5 44100 2 330
tags "WavPack Tone" "APE Artist"
ff t330v wavpack-330.wv -c:a wavpack "${tag_options[@]}"
row wavpack-330.wv UNKNOW 44100 2 22050 330 0.5
# Monkey's Audio with an APE tag: ffmpeg has no encoder for it; JMAC, a Java port of the
# reference codec, has ("c2": its normal level).
tone t660m 0.5 44100 2 660
sox "$tmp/t660m.aiff" "$tmp/t660m.wav"
jmac c2 "$tmp/t660m.wav" monkeys-660.ape >/dev/null
"$PY" - monkeys-660.ape <<'EOF2'
import sys
from mutagen.apev2 import APEv2
t = APEv2()
t["Title"], t["Artist"], t["Album"] = "Monkey Tone", "APE Artist", "Formats"
t.save(sys.argv[1])
EOF2
row monkeys-660.ape UNKNOW 44100 2 22050 660 0.5
# A ProTracker module (tools/lib/protracker.py): one looped 32-sample sine cycle at Amiga
# period 428 (8287 Hz, so a 259 Hz tone) on a left and a right channel, speed 3, 16 rows
# then a pattern break: 0.96 s of play, which libopenmpt renders at 48 kHz. Its level is libopenmpt's mix, as
# measured by ffmpeg.
"$PY" ../../tools/lib/protracker.py tone-259.mod "Tone Module" 1 16 3 428
peak=$(ffmpeg -nostdin -v info -i tone-259.mod -af astats=measure_perchannel=none -f null - 2>&1 |
       sed -n 's/.*Max level: \([0-9.]*\).*/\1/p' | head -1)
row tone-259.mod UNKNOW 48000 2 46080 258.97 "$(printf %.3f "$peak")"

# Sound in a video: a 16 x 16 picture a second beside 0.5 s of AAC; and the picture alone.
tone t600v 0.5 44100 2 600
ffmpeg -nostdin -v error -y -f lavfi -i color=c=blue:s=16x16:r=2:d=0.5 -i "$tmp/t600v.aiff" \
  -map_metadata -1 -fflags +bitexact -flags +bitexact -c:v mpeg4 -c:a aac -b:a 96k \
  -movie_timescale 44100 video-600.mp4
row video-600.mp4 UNKNOW 44100 2 22050 600 0.5
ffmpeg -nostdin -v error -y -f lavfi -i color=c=blue:s=16x16:r=2:d=0.5 -map_metadata -1 \
  -fflags +bitexact -flags +bitexact -c:v mpeg4 video-only.mp4
row video-only.mp4 OTHER 0 0 0 0 0

# Gapless joins, as for FLAC and MP3 above: the 2.5 s tone cut at frame 54556 in AAC, and a
# 48 kHz one cut at frame 59376 (no Opus frame edge) in Opus.
ff joina join-a.m4a -c:a aac -b:a 128k -movie_timescale 44100 -metadata title="Join A"
ff joinb join-b.m4a -c:a aac -b:a 128k -movie_timescale 44100 -metadata title="Join B"
row join-a.m4a UNKNOW 44100 2 54556 990 0.5
row join-b.m4a UNKNOW 44100 2 55694 990 0.5
tone t990o 2.5 48000 2 990
sox -D "$tmp/t990o.aiff" --comment "" "$tmp/joinao.aiff" trim 0 59376s
sox -D "$tmp/t990o.aiff" --comment "" "$tmp/joinbo.aiff" trim 59376s
ff joinao join-a.opus -c:a libopus -b:a 128k -metadata title="Join A"
ff joinbo join-b.opus -c:a libopus -b:a 128k -metadata title="Join B"
row join-a.opus UNKNOW 48000 2 59376 990 0.5
row join-b.opus UNKNOW 48000 2 60624 990 0.5

# --- broken input -----------------------------------------------------------------
# cbr-440.mp3 cut in the middle of the MPEG frame found at 40 % of the file.
"$PY" - cbr-440.mp3 truncated.mp3 <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
pos = 10 + sum(b << (7 * (3 - i)) for i, b in enumerate(data[6:10]))  # skip ID3v2
kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
while True:  # walk MPEG-1 Layer III frames at 44.1 kHz
    assert data[pos] == 0xFF and data[pos + 1] & 0xFE == 0xFA, "lost frame sync"
    size = 144000 * kbps[data[pos + 2] >> 4] // 44100 + (data[pos + 2] >> 1 & 1)
    if pos + size > len(data) * 0.4:
        break
    pos += size
open(sys.argv[2], "wb").write(data[:pos + size // 2])
EOF
# Decoders differ on the cut frame: mpg123 drops it, ffmpeg decodes it (+1152). The row
# holds mpg123's gapless count: whole frames only, encoder delay trimmed, nothing at the end.
row truncated.mp3 MP3 44100 2 "$(( $(mpg123 --quiet -s truncated.mp3 | wc -c) / 4 ))" 440 0.5

# 4 KB of pseudo-random bytes named .mp3. 0xFF is remapped so no MPEG/ADTS frame sync can occur.
"$PY" - not-audio.mp3 <<'EOF'
import hashlib, sys
b = b"".join(hashlib.sha256(b"zuna-not-audio-%d" % i).digest() for i in range(128))
open(sys.argv[1], "wb").write(b.replace(b"\xff", b"\xfe"))
EOF
row not-audio.mp3 OTHER 0 0 0 0 0

{ printf 'file\ttype\trate\tchannels\tframes\tfreq\tpeak\n'
  printf '%s\n' "${rows[@]}" | sed 's/\t$//'; } > fixtures.tsv

# --- cross-check with independent decoders ------------------------------------------
# metaflac for FLAC length; ffprobe/ffmpeg (if installed) for type, rate, channels and
# decoded length. For header-less MP3s also ffprobe's MPEG frame count * samples per frame.
fail=0
while IFS=$'\t' read -r -u 3 f type rate ch frames _; do
  [ "$f" = file ] && continue
  if [ "$type" = FLAC ]; then
    n=$(metaflac --show-total-samples "$f")
    [ "$n" = "$frames" ] || { echo "MISMATCH $f: metaflac $n != $frames"; fail=1; }
  fi
  if [ "$type" = MP3 ]; then  # mpg123 with gapless trimming, as a player would decode it
    n=$(( $(mpg123 --quiet -s "$f" | wc -c) / (2 * ch) ))
    [ "$n" = "$frames" ] || { echo "MISMATCH $f: mpg123 $n != $frames"; fail=1; }
  fi
  command -v ffprobe >/dev/null || continue
  if [ "$type" = OTHER ]; then
    s=$(ffprobe -v quiet -show_streams "$f" || true)
    [[ $s != *codec_type=audio* ]] || { echo "MISMATCH $f: ffprobe sees audio"; fail=1; }
    continue
  fi
  got=$(ffprobe -v error -select_streams a:0 -show_entries format=format_name:stream=sample_rate,channels \
        -of default=nw=1:nk=1 "$f" | tr '\n' ' ')
  read -r grate gch gformat <<<"$got"
  case $type in MP3) wformat=mp3 ;; FLAC) wformat=flac ;; *) wformat=$gformat ;; esac
  [ "$grate $gch $gformat" = "$rate $ch $wformat" ] ||
      { echo "MISMATCH $f: ffprobe '$got' != '$rate $ch $wformat'"; fail=1; }
  n=$(( $(ffmpeg -nostdin -v quiet -i "$f" -map 0:a:0 -f s16le - | wc -c) / (2 * ch) ))
  case $f in
    truncated.mp3) [ "$n" = $((frames + 1152)) ] || { echo "MISMATCH $f: ffmpeg $n != $frames + 1152"; fail=1; } ;;
    # ffmpeg keeps the AAC encoder's padding, up to the end of the last 1024-sample frame.
    *.m4a|*.mp4) [ "$n" -ge "$frames" ] && [ "$n" -lt $((frames + 1024)) ] ||
                 { echo "MISMATCH $f: ffmpeg $n not within the 1024-frame block after $frames"; fail=1; } ;;
    # libopenmpt's play time is the module's length; ffmpeg renders on past it to a full packet.
    *.mod) d=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$f")
           [ "$("$PY" -c "print(round($d * $rate))")" = "$frames" ] ||
               { echo "MISMATCH $f: play time $d s != $frames frames"; fail=1; } ;;
    *) [ "$n" = "$frames" ] || { echo "MISMATCH $f: ffmpeg $n != $frames"; fail=1; } ;;
  esac
  case $f in vbr-noxing-550.mp3|cbr-noinfo-330-cover.mp3)
    k=$(ffprobe -v error -count_frames -select_streams a:0 -show_entries stream=nb_read_frames \
        -of default=nw=1:nk=1 "$f" | sed -n 1p)
    [ $((k * 1152)) = "$frames" ] || { echo "MISMATCH $f: ffprobe $k frames * 1152 != $frames"; fail=1; } ;;
  esac
done 3< fixtures.tsv
command -v ffprobe >/dev/null || echo "ffprobe not found: ffmpeg cross-checks skipped" >&2
[ $fail = 0 ] && echo "fixtures.tsv cross-checked: OK"
exit $fail
