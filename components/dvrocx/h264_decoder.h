// H.264 to pictures with the system's own decoder: the Media Foundation
// H.264 decoder transform, whose NV12 pictures are converted to BGRA here.
// Media Foundation is loaded when first needed: Windows editions without it
// (the N editions without their Media Feature Pack) still load the control,
// and the decoder says kNoDecoder there.
//
// One decoder serves one stream on one thread. That thread must have COM
// initialised (multithreaded); the decoder starts and shuts down Media
// Foundation itself. It holds at most a few pictures: what it is given comes
// out one or two units later, or not at all when the stream breaks off.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "stream_sink.h"

struct IMFActivate;
struct IMFSample;
struct IMFTransform;

namespace dvrocx {

class CH264Decoder {
 public:
  enum class Result {
    kOk,         // taken (possibly skipped while waiting for an IDR picture)
    kNoDecoder,  // this system has no usable H.264 decoder; every later call says so too
    kFailed,     // the unit was malformed or refused: decoding resumes at the next IDR picture
  };

  CH264Decoder();
  ~CH264Decoder();
  CH264Decoder(const CH264Decoder&) = delete;
  CH264Decoder& operator=(const CH264Decoder&) = delete;

  // The parameter sets announced out of band (an SDP's), as bare NAL units;
  // either may be empty. They go to the decoder ahead of IDR pictures that
  // do not carry their own.
  void SetParameterSets(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps);

  // One access unit in Annex-B form. The pictures that came out of the
  // decoder are appended to frames, each with the arrival of its own unit.
  Result Decode(const uint8_t* data, size_t size, int64_t arrival, std::vector<VideoFrame>* frames);

 private:
  struct Api;
  bool Start();
  bool Create();
  void Destroy();
  bool ChooseOutputType();
  bool Feed(const std::vector<uint8_t>& bytes, int64_t arrival);
  bool Drain(std::vector<VideoFrame>* frames);
  bool TakeFrame(IMFSample* sample, std::vector<VideoFrame>* frames);
  Result Fail();

  Api* m_api = nullptr;  // Media Foundation's entry points, null until started
  bool m_started = false;
  bool m_noDecoder = false;
  bool m_everCreated = false;
  IMFActivate* m_activate = nullptr;
  IMFTransform* m_mft = nullptr;
  IMFSample* m_outSample = nullptr;  // ours, when the transform wants samples from us
  DWORD m_outSize = 0;
  bool m_providesSamples = false;
  bool m_outputTypeSet = false;
  int m_frameWidth = 0, m_frameHeight = 0, m_stride = 0;  // the NV12 output
  int m_apertureWidth = 0, m_apertureHeight = 0;          // 0 when the output type has none
  int m_spsWidth = 0, m_spsHeight = 0;                    // what the stream's SPS shows
  bool m_waitIdr = true;
  int m_failures = 0;  // failures since the last picture
  std::vector<uint8_t> m_sps, m_pps;
  int64_t m_time = 0;
  int64_t m_arrivals[16] = {};  // by sample number, for the pictures that come out later
};

}  // namespace dvrocx
