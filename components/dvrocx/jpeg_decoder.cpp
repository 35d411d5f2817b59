#include "jpeg_decoder.h"

#include <new>

namespace dvrocx {
namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

}  // namespace

JpegDecoder::~JpegDecoder() {
  if (m_factory) m_factory->Release();
}

bool JpegDecoder::Decode(const uint8_t* data, size_t size, VideoFrame& frame) {
  // Every JPEG starts with the start-of-image marker; WIC is not asked
  // about anything else.
  if (!data || size < 4 || size > 0x7fffffff || data[0] != 0xFF || data[1] != 0xD8) return false;
  if (!m_factory && FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IWICImagingFactory, reinterpret_cast<void**>(&m_factory)))) {
    m_factory = nullptr;
    return false;
  }
  Ref<IWICStream> stream;
  Ref<IWICBitmapDecoder> decoder;
  Ref<IWICBitmapFrameDecode> source;
  Ref<IWICFormatConverter> converter;
  UINT w = 0, h = 0;
  if (FAILED(m_factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size))) ||
      FAILED(m_factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, &decoder)) ||
      FAILED(decoder->Initialize(stream.p, WICDecodeMetadataCacheOnDemand)) || FAILED(decoder->GetFrame(0, &source)) ||
      FAILED(source->GetSize(&w, &h)))
    return false;
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return false;
  if (FAILED(m_factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(source.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return false;
  std::vector<uint32_t> pixels;
  try {
    pixels.resize(static_cast<size_t>(w) * h);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const UINT stride = w * 4;
  if (FAILED(converter->CopyPixels(nullptr, stride, stride * h, reinterpret_cast<BYTE*>(pixels.data())))) return false;
  frame.width = static_cast<int>(w);
  frame.height = static_cast<int>(h);
  frame.pixels.swap(pixels);
  return true;
}

}  // namespace dvrocx
