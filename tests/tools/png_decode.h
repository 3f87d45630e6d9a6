// PNG files read back with an independent decoder, the system's imaging component (link
// windowscodecs, ole32 and uuid).
#pragma once

#include <windows.h>

#include <wincodec.h>

#include <cstdint>
#include <string>
#include <vector>

namespace png_decode {

struct Image {
  bool ok = false;
  UINT width = 0;
  UINT height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
  uint32_t At(UINT x, UINT y) const { return pixels[y * width + x] & 0xFFFFFF; }
};

// Decodes a PNG with the system's imaging component, converted to 32-bit BGR.
inline Image Decode(const std::string& png) {
  Image image;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return image;
  IWICImagingFactory* factory = nullptr;
  IWICStream* stream = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* converter = nullptr;
  std::string bytes = png;
  if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                 reinterpret_cast<void**>(&factory))) &&
      SUCCEEDED(factory->CreateStream(&stream)) &&
      SUCCEEDED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(&bytes[0]), static_cast<DWORD>(bytes.size()))) &&
      SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
      SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                      WICBitmapPaletteTypeCustom)) &&
      SUCCEEDED(converter->GetSize(&image.width, &image.height))) {
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    image.ok = SUCCEEDED(converter->CopyPixels(nullptr, image.width * 4,
                                               static_cast<UINT>(image.pixels.size() * 4),
                                               reinterpret_cast<BYTE*>(image.pixels.data())));
  }
  if (converter) converter->Release();
  if (frame) frame->Release();
  if (decoder) decoder->Release();
  if (stream) stream->Release();
  if (factory) factory->Release();
  CoUninitialize();
  return image;
}

}  // namespace png_decode
