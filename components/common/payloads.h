// The payloads: the viewer control and its twelve companion libraries, which
// the program carries as resources of type "BIN" and the installer writes
// into the system directory in this order, one entry per file:
//   VELO_PAYLOAD(resource id, file name, what the file is)
// Each user expands the list with a VELO_PAYLOAD of its own (the installer's
// table, res/payloads.rc: windres keeps only the directives of an included .h
// file, so the list is a macro); the component build reads the entries
// (components/CMakeLists.txt) and builds every file under its name, with the
// description as a companion's version-block file description.
#pragma once

// One line per file.
// clang-format off
#define VELO_PAYLOADS(VELO_PAYLOAD) \
  VELO_PAYLOAD(172, "DvrOcx.ocx", "the viewer ActiveX control") \
  VELO_PAYLOAD(173, "DvrOcxChn.dll", "the control's Traditional Chinese texts") \
  VELO_PAYLOAD(174, "DvrOcxChs.dll", "the control's Simplified Chinese texts") \
  VELO_PAYLOAD(175, "CovH264ToAvi.dll", "converter of recorded H.264 streams to AVI files") \
  VELO_PAYLOAD(176, "Ql_DvrNet.dll", "network client library for talking to the recorders") \
  VELO_PAYLOAD(177, "Ql_DvrAVDecode.dll", "audio and video decoding and playback library") \
  VELO_PAYLOAD(178, "ChipDecoder.dll", "video and sound decoder front end, built on the H.264 decoder") \
  VELO_PAYLOAD(179, "AudioDecode.dll", "audio decoder and audio capture library") \
  VELO_PAYLOAD(180, "Winpubf.dll", "small utility library (directory creation, current date and time, local IP address)") \
  VELO_PAYLOAD(181, "Nvrfs.dll", "reader for the recorders' recording-file format") \
  VELO_PAYLOAD(182, "lib_VoiceEngine_dll.dll", "voice encoder, decoder and transcoder") \
  VELO_PAYLOAD(183, "hi_h264Dec_w.dll", "H.264 video decoder") \
  VELO_PAYLOAD(184, "AmrDll.dll", "AMR narrow-band audio codec")
// clang-format on
