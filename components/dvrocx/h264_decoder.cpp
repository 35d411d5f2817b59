#include "h264_decoder.h"

// The GUIDs below are defined in this file rather than taken from mfuuid, and
// Media Foundation's functions are looked up at run time: the control imports
// nothing that Windows may lack.
#include <initguid.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mftransform.h>

#include <algorithm>
#include <cstring>

#include "h264_sps.h"
#include "nv12.h"

namespace dvrocx {

namespace {

// Microsoft's H.264 decoder, for systems whose enumeration does not list it.
const CLSID kClsidMsH264Decoder = {0x62ce7e72, 0x4c71, 0x4d20, {0xb1, 0x5d, 0x45, 0x28, 0x31, 0xa8, 0x7d, 0x9d}};
// MF_LOW_LATENCY (Windows 8 and later; others ignore it).
const GUID kLowLatency = {0x9c27891a, 0xed7a, 0x40e1, {0x88, 0xe8, 0xb2, 0x27, 0x27, 0xa0, 0x24, 0xee}};
constexpr LONGLONG kFrameTicks = 400000;  // 40 ms in 100 ns units; only for telling samples apart
constexpr int kMaxOutputsPerUnit = 8;

template <typename T>
void SafeRelease(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// Annex-B bytes of one NAL unit.
void AppendNal(std::vector<uint8_t>& out, const std::vector<uint8_t>& nal) {
  if (nal.empty()) return;
  static const uint8_t kStart[4] = {0, 0, 0, 1};
  out.insert(out.end(), kStart, kStart + 4);
  out.insert(out.end(), nal.begin(), nal.end());
}

}  // namespace

struct CH264Decoder::Api {
  HMODULE mfplat = nullptr;
  decltype(&::MFStartup) startup = nullptr;
  decltype(&::MFShutdown) shutdown = nullptr;
  decltype(&::MFCreateMediaType) createMediaType = nullptr;
  decltype(&::MFCreateSample) createSample = nullptr;
  decltype(&::MFCreateMemoryBuffer) createMemoryBuffer = nullptr;
  decltype(&::MFTEnumEx) enumEx = nullptr;

  template <typename F>
  bool Find(F& f, const char* name) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(mfplat, name)));
    return f != nullptr;
  }
};

CH264Decoder::CH264Decoder() = default;

CH264Decoder::~CH264Decoder() {
  Destroy();
  if (m_api) {
    if (m_started) m_api->shutdown();
    FreeLibrary(m_api->mfplat);
    delete m_api;
  }
}

void CH264Decoder::SetParameterSets(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps) {
  m_sps = sps;
  m_pps = pps;
}

bool CH264Decoder::Start() {
  if (m_api) return m_started;
  m_api = new Api;
  m_api->mfplat = LoadLibraryW(L"mfplat.dll");
  if (!m_api->mfplat) return false;
  Api& a = *m_api;
  if (!a.Find(a.startup, "MFStartup") || !a.Find(a.shutdown, "MFShutdown") ||
      !a.Find(a.createMediaType, "MFCreateMediaType") || !a.Find(a.createSample, "MFCreateSample") ||
      !a.Find(a.createMemoryBuffer, "MFCreateMemoryBuffer"))
    return false;
  a.Find(a.enumEx, "MFTEnumEx");  // missing before Windows 7: the decoder's class is tried directly
  m_started = SUCCEEDED(a.startup(MF_VERSION, MFSTARTUP_NOSOCKET));
  return m_started;
}

bool CH264Decoder::Create() {
  if (m_api->enumEx) {
    MFT_REGISTER_TYPE_INFO input = {MFMediaType_Video, MFVideoFormat_H264};
    MFT_REGISTER_TYPE_INFO output = {MFMediaType_Video, MFVideoFormat_NV12};
    IMFActivate** found = nullptr;
    UINT32 count = 0;
    if (SUCCEEDED(m_api->enumEx(MFT_CATEGORY_VIDEO_DECODER, MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_SORTANDFILTER, &input,
                                &output, &found, &count))) {
      for (UINT32 i = 0; i < count; ++i) {
        if (!m_mft && SUCCEEDED(found[i]->ActivateObject(IID_IMFTransform, reinterpret_cast<void**>(&m_mft)))) {
          m_activate = found[i];
          continue;
        }
        found[i]->Release();
      }
      CoTaskMemFree(found);
    }
  }
  if (!m_mft && FAILED(CoCreateInstance(kClsidMsH264Decoder, nullptr, CLSCTX_INPROC_SERVER, IID_IMFTransform,
                                        reinterpret_cast<void**>(&m_mft))))
    return false;

  IMFAttributes* attributes = nullptr;
  if (SUCCEEDED(m_mft->GetAttributes(&attributes)) && attributes) {
    attributes->SetUINT32(kLowLatency, TRUE);  // pictures out as soon as they are decoded
    attributes->Release();
  }
  IMFMediaType* type = nullptr;
  bool ok = SUCCEEDED(m_api->createMediaType(&type)) && SUCCEEDED(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) &&
            SUCCEEDED(type->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264));
  if (ok && m_spsWidth > 0)
    type->SetUINT64(MF_MT_FRAME_SIZE, static_cast<UINT64>(m_spsWidth) << 32 | static_cast<UINT32>(m_spsHeight));
  ok = ok && SUCCEEDED(m_mft->SetInputType(0, type, 0));
  SafeRelease(type);
  if (!ok) {
    Destroy();
    return false;
  }
  ChooseOutputType();  // may have to wait for the first stream change
  m_mft->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
  m_mft->ProcessMessage(MFT_MESSAGE_NOTIFY_START_OF_STREAM, 0);
  m_everCreated = true;
  return true;
}

void CH264Decoder::Destroy() {
  SafeRelease(m_outSample);
  SafeRelease(m_mft);
  if (m_activate) m_activate->ShutdownObject();
  SafeRelease(m_activate);
  m_outputTypeSet = false;
  m_outSize = 0;
}

bool CH264Decoder::ChooseOutputType() {
  m_outputTypeSet = false;
  IMFMediaType* type = nullptr;
  for (DWORD i = 0; SUCCEEDED(m_mft->GetOutputAvailableType(0, i, &type)); ++i) {
    GUID subtype = {};
    UINT64 size = 0;
    if (SUCCEEDED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype == MFVideoFormat_NV12 &&
        SUCCEEDED(type->GetUINT64(MF_MT_FRAME_SIZE, &size)) && SUCCEEDED(m_mft->SetOutputType(0, type, 0))) {
      m_frameWidth = static_cast<int>(size >> 32);
      m_frameHeight = static_cast<int>(size & 0xFFFFFFFF);
      UINT32 stride = 0;
      m_stride = SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)) ? static_cast<INT32>(stride) : 0;
      if (m_stride < m_frameWidth) m_stride = m_frameWidth;
      MFVideoArea area = {};
      if (SUCCEEDED(
              type->GetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<UINT8*>(&area), sizeof area, nullptr))) {
        m_apertureWidth = area.Area.cx;
        m_apertureHeight = area.Area.cy;
      } else {
        m_apertureWidth = m_apertureHeight = 0;
      }
      m_outputTypeSet = m_frameWidth > 0 && m_frameHeight > 0 && m_frameWidth <= 16384 && m_frameHeight <= 16384;
      break;
    }
    SafeRelease(type);
  }
  SafeRelease(type);
  if (!m_outputTypeSet) return false;

  MFT_OUTPUT_STREAM_INFO info = {};
  if (FAILED(m_mft->GetOutputStreamInfo(0, &info))) return m_outputTypeSet = false;
  m_providesSamples =
      (info.dwFlags & (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES)) != 0;
  const DWORD needed = std::max<DWORD>(info.cbSize, static_cast<DWORD>(m_stride) * m_frameHeight * 3 / 2);
  if (!m_providesSamples && needed != m_outSize) {
    SafeRelease(m_outSample);
    m_outSize = 0;
    IMFMediaBuffer* buffer = nullptr;
    if (FAILED(m_api->createSample(&m_outSample)) || FAILED(m_api->createMemoryBuffer(needed, &buffer)) ||
        FAILED(m_outSample->AddBuffer(buffer))) {
      SafeRelease(buffer);
      SafeRelease(m_outSample);
      return m_outputTypeSet = false;
    }
    buffer->Release();
    m_outSize = needed;
  }
  return true;
}

bool CH264Decoder::Feed(const std::vector<uint8_t>& bytes, int64_t arrival) {
  IMFSample* sample = nullptr;
  IMFMediaBuffer* buffer = nullptr;
  BYTE* p = nullptr;
  bool ok = SUCCEEDED(m_api->createSample(&sample)) &&
            SUCCEEDED(m_api->createMemoryBuffer(static_cast<DWORD>(bytes.size()), &buffer)) &&
            SUCCEEDED(buffer->Lock(&p, nullptr, nullptr));
  if (ok) {
    std::memcpy(p, bytes.data(), bytes.size());
    buffer->Unlock();
    ok = SUCCEEDED(buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()))) && SUCCEEDED(sample->AddBuffer(buffer));
  }
  if (ok) {
    m_arrivals[m_time % 16] = arrival;
    sample->SetSampleTime(m_time * kFrameTicks);
    sample->SetSampleDuration(kFrameTicks);
    ++m_time;
    ok = SUCCEEDED(m_mft->ProcessInput(0, sample, 0));
  }
  SafeRelease(buffer);
  SafeRelease(sample);
  return ok;
}

bool CH264Decoder::Drain(std::vector<VideoFrame>* frames) {
  for (int round = 0; round < kMaxOutputsPerUnit; ++round) {
    if (!m_outputTypeSet && !ChooseOutputType()) return false;
    MFT_OUTPUT_DATA_BUFFER out = {};
    out.pSample = m_providesSamples ? nullptr : m_outSample;
    DWORD status = 0;
    if (m_outSample && !m_providesSamples) {
      IMFMediaBuffer* buffer = nullptr;
      if (SUCCEEDED(m_outSample->GetBufferByIndex(0, &buffer))) buffer->SetCurrentLength(0), buffer->Release();
    }
    const HRESULT hr = m_mft->ProcessOutput(0, 1, &out, &status);
    if (out.pEvents) out.pEvents->Release();
    if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) return true;
    if (hr == MF_E_TRANSFORM_STREAM_CHANGE || hr == MF_E_TRANSFORM_TYPE_NOT_SET) {
      m_outputTypeSet = false;
      continue;
    }
    if (FAILED(hr)) return false;
    const bool taken = TakeFrame(out.pSample, frames);
    if (m_providesSamples && out.pSample) out.pSample->Release();
    if (!taken) return false;
  }
  return true;
}

bool CH264Decoder::TakeFrame(IMFSample* sample, std::vector<VideoFrame>* frames) {
  if (!sample) return false;
  IMFMediaBuffer* buffer = nullptr;
  BYTE* p = nullptr;
  DWORD length = 0;
  if (FAILED(sample->ConvertToContiguousBuffer(&buffer))) return false;
  if (FAILED(buffer->Lock(&p, nullptr, &length))) {
    buffer->Release();
    return false;
  }
  const size_t luma = static_cast<size_t>(m_stride) * m_frameHeight;
  const bool whole = length >= luma + static_cast<size_t>(m_stride) * ((m_frameHeight + 1) / 2);
  if (whole) {
    // The shown part: the output type's aperture, else the SPS's cropping
    // (some decoders give the coded size only).
    int width = m_apertureWidth > 0 ? m_apertureWidth : m_spsWidth > 0 ? m_spsWidth : m_frameWidth;
    int height = m_apertureHeight > 0 ? m_apertureHeight : m_spsHeight > 0 ? m_spsHeight : m_frameHeight;
    width = std::min(width, m_frameWidth);
    height = std::min(height, m_frameHeight);
    VideoFrame frame;
    frame.width = width;
    frame.height = height;
    frame.pixels.resize(static_cast<size_t>(width) * height);
    video::Nv12ToBgra(p, p + luma, m_stride, width, height, frame.pixels.data());
    LONGLONG time = 0;
    const int64_t number = SUCCEEDED(sample->GetSampleTime(&time)) ? time / kFrameTicks : m_time - 1;
    frame.arrival = m_arrivals[(number >= 0 && number < m_time && m_time - number <= 16 ? number : m_time - 1) % 16];
    frames->push_back(std::move(frame));
  }
  buffer->Unlock();
  buffer->Release();
  return whole;
}

CH264Decoder::Result CH264Decoder::Fail() {
  m_waitIdr = true;
  if (++m_failures >= 2) {
    Destroy();  // still broken after a fresh start at an IDR picture: a new transform next time
  } else if (m_mft) {
    m_mft->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
  }
  return Result::kFailed;
}

CH264Decoder::Result CH264Decoder::Decode(const uint8_t* data, size_t size, int64_t arrival,
                                          std::vector<VideoFrame>* frames) {
  if (m_noDecoder) return Result::kNoDecoder;
  const std::vector<video::NalUnit> units = video::SplitAnnexB(data, size);
  bool idr = false, ownSps = false, slice = false;
  video::SpsInfo sps;
  bool sized = false;
  for (const video::NalUnit& u : units) {
    const int type = u.Type();
    if ((u.data[0] & 0x80) || type == 0 || type >= 24) return Fail();  // not what an encoder sends
    idr |= type == video::kNalIdr;
    slice |= type == video::kNalIdr || type == video::kNalSlice;
    if (type == video::kNalSps) {
      ownSps = true;
      sized = video::ParseSps(u.data, u.size, &sps);
      if (!sized) return Fail();
    }
  }
  if (!slice) return units.empty() ? Fail() : Result::kOk;  // parameter sets or SEI alone: nothing to show
  if (m_waitIdr && !idr) return Result::kOk;

  std::vector<uint8_t> bytes;
  if (idr && !ownSps) {
    AppendNal(bytes, m_sps);
    AppendNal(bytes, m_pps);
    sized = !m_sps.empty() && video::ParseSps(m_sps.data(), m_sps.size(), &sps);
  }
  bytes.insert(bytes.end(), data, data + size);
  if (sized && (sps.width != m_spsWidth || sps.height != m_spsHeight)) {
    // A new picture size: some decoders cannot change size on the way, so
    // every size gets a transform of its own.
    Destroy();
    m_spsWidth = sps.width;
    m_spsHeight = sps.height;
  }
  if (!m_mft) {
    if (!m_everCreated && !Start()) {
      m_noDecoder = true;
      return Result::kNoDecoder;
    }
    if (!Create()) {
      m_noDecoder = !m_everCreated;
      return m_noDecoder ? Result::kNoDecoder : Fail();
    }
  }
  m_waitIdr = false;
  if (!Feed(bytes, arrival)) {
    // Full: take out what is ready and offer the unit once more.
    if (!Drain(frames) || !Feed(bytes, arrival)) return Fail();
  }
  const size_t before = frames->size();
  if (!Drain(frames)) return Fail();
  if (frames->size() > before) m_failures = 0;
  return Result::kOk;
}

}  // namespace dvrocx
