#include "browser/osr_dragdrop_win.h"

#include <cstring>

#include "browser/ole_drag_data.h"

namespace client {

// --- Drop effects and drag operations ---

cef_drag_operations_mask_t DropEffectToDragOperation(DWORD effect) {
  int operation = DRAG_OPERATION_NONE;
  if (effect & DROPEFFECT_COPY)
    operation |= DRAG_OPERATION_COPY;
  if (effect & DROPEFFECT_LINK)
    operation |= DRAG_OPERATION_LINK;
  if (effect & DROPEFFECT_MOVE)
    operation |= DRAG_OPERATION_MOVE;
  return static_cast<cef_drag_operations_mask_t>(operation);
}

DWORD DragOperationToDropEffect(cef_drag_operations_mask_t operation) {
  DWORD effect = DROPEFFECT_NONE;
  if (operation & DRAG_OPERATION_COPY)
    effect |= DROPEFFECT_COPY;
  if (operation & DRAG_OPERATION_LINK)
    effect |= DROPEFFECT_LINK;
  if (operation & DRAG_OPERATION_MOVE)
    effect |= DROPEFFECT_MOVE;
  return effect;
}

// --- DropTargetWin ---

CComPtr<DropTargetWin> DropTargetWin::Create(OsrDragEvents* callback, HWND hWnd) {
  return CComPtr<DropTargetWin>(new DropTargetWin(callback, hWnd));
}

DropTargetWin::DropTargetWin(OsrDragEvents* callback, HWND hWnd) : callback_(callback), hWnd_(hWnd) {}

DropTargetWin::~DropTargetWin() = default;

HRESULT DropTargetWin::RunDragDrop(IDataObject* data_object, IDropSource* drop_source, DWORD ok_effects,
                                   DWORD* effect) {
  return DoDragDrop(data_object, drop_source, ok_effects, effect);
}

cef_drag_operations_mask_t DropTargetWin::StartDragging(CefRefPtr<CefBrowser> browser,
                                                        CefRefPtr<CefDragData> drag_data,
                                                        cef_drag_operations_mask_t allowed_ops, int x, int y) {
  if (!drag_data)
    return DRAG_OPERATION_NONE;
  // The drag loop pumps messages: the window may let go of this target meanwhile.
  CComPtr<DropTargetWin> self(this);

  CComPtr<DataObjectWin> data_object;
  BuildDataObjectFromDragData(drag_data, data_object);
  CComPtr<DropSourceWin> drop_source = DropSourceWin::Create();
  const DWORD ok_effects = DragOperationToDropEffect(allowed_ops);

  // What the page sees if the drag passes over this window again: no file contents.
  current_drag_data_ = drag_data->Clone();
  current_drag_data_->ResetFileContents();

  DWORD effect = DROPEFFECT_NONE;
  const HRESULT result = RunDragDrop(data_object, drop_source, ok_effects, &effect);
  if (result != DRAGDROP_S_DROP)
    effect = DROPEFFECT_NONE;

  current_drag_data_ = nullptr;
  return DropEffectToDragOperation(effect);
}

HRESULT DropTargetWin::DragEnter(IDataObject* data_object, DWORD key_state, POINTL cursor_position,
                                 DWORD* effect) {
  if (!effect)
    return E_INVALIDARG;
  // Read again on every entry: the offered data may differ from the last drag's.
  CefRefPtr<CefDragData> drag_data = current_drag_data_;
  if (!drag_data)
    drag_data = ReadDragDataFromDataObject(data_object);
  CefMouseEvent ev = MakeDragMouseEvent(cursor_position, key_state, hWnd_);
  const cef_drag_operations_mask_t mask = callback_->OnDragEnter(drag_data, ev, DropEffectToDragOperation(*effect));
  *effect = DragOperationToDropEffect(mask);
  return S_OK;
}

HRESULT DropTargetWin::DragOver(DWORD key_state, POINTL cursor_position, DWORD* effect) {
  if (!effect)
    return E_INVALIDARG;
  CefMouseEvent ev = MakeDragMouseEvent(cursor_position, key_state, hWnd_);
  const cef_drag_operations_mask_t mask = callback_->OnDragOver(ev, DropEffectToDragOperation(*effect));
  *effect = DragOperationToDropEffect(mask);
  return S_OK;
}

HRESULT DropTargetWin::DragLeave() {
  callback_->OnDragLeave();
  return S_OK;
}

HRESULT DropTargetWin::Drop(IDataObject* data_object, DWORD key_state, POINTL cursor_position, DWORD* effect) {
  if (!effect)
    return E_INVALIDARG;
  CefMouseEvent ev = MakeDragMouseEvent(cursor_position, key_state, hWnd_);
  const cef_drag_operations_mask_t mask = callback_->OnDrop(ev, DropEffectToDragOperation(*effect));
  *effect = DragOperationToDropEffect(mask);
  return S_OK;
}

// --- DropSourceWin ---

CComPtr<DropSourceWin> DropSourceWin::Create() {
  return CComPtr<DropSourceWin>(new DropSourceWin());
}

HRESULT DropSourceWin::QueryContinueDrag(BOOL escape_pressed, DWORD key_state) {
  if (escape_pressed)
    return DRAGDROP_S_CANCEL;
  if (!(key_state & MK_LBUTTON))
    return DRAGDROP_S_DROP;
  return S_OK;
}

HRESULT DropSourceWin::GiveFeedback(DWORD effect) {
  return DRAGDROP_S_USEDEFAULTCURSORS;
}

// --- DragEnumFormatEtc ---

HRESULT DragEnumFormatEtc::MakeFormatEnumerator(UINT count, const FORMATETC* formats,
                                                IEnumFORMATETC** enumerator) {
  if (count == 0 || !formats || !enumerator)
    return E_INVALIDARG;
  *enumerator = new DragEnumFormatEtc(formats, count);
  return S_OK;
}

void DragEnumFormatEtc::DeepCopyFormatEtc(FORMATETC* dest, const FORMATETC* source) {
  *dest = *source;
  if (source->ptd) {
    // A target device is as long as its own size field says, never shorter than its header.
    const size_t size = source->ptd->tdSize > sizeof(DVTARGETDEVICE) ? source->ptd->tdSize : sizeof(DVTARGETDEVICE);
    dest->ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(size));
    if (dest->ptd) {
      std::memset(dest->ptd, 0, size);
      std::memcpy(dest->ptd, source->ptd, source->ptd->tdSize < size ? source->ptd->tdSize : size);
    }
  }
}

DragEnumFormatEtc::DragEnumFormatEtc(const FORMATETC* formats, UINT count)
    : SingleThreadComObject(1), formats_(count) {
  for (UINT i = 0; i < count; ++i)
    DeepCopyFormatEtc(&formats_[i], &formats[i]);
}

DragEnumFormatEtc::~DragEnumFormatEtc() {
  for (FORMATETC& format : formats_)
    if (format.ptd)
      CoTaskMemFree(format.ptd);
}

HRESULT DragEnumFormatEtc::Next(ULONG count, FORMATETC* formats, ULONG* fetched) {
  if (count > 0 && !formats)
    return E_INVALIDARG;
  ULONG copied = 0;
  while (index_ < formats_.size() && copied < count) {
    DeepCopyFormatEtc(&formats[copied], &formats_[index_]);
    ++copied;
    ++index_;
  }
  if (fetched)
    *fetched = copied;
  return copied == count ? S_OK : S_FALSE;
}

HRESULT DragEnumFormatEtc::Skip(ULONG count) {
  index_ += count;
  return index_ <= formats_.size() ? S_OK : S_FALSE;
}

HRESULT DragEnumFormatEtc::Reset() {
  index_ = 0;
  return S_OK;
}

HRESULT DragEnumFormatEtc::Clone(IEnumFORMATETC** enumerator) {
  const HRESULT result =
      MakeFormatEnumerator(static_cast<UINT>(formats_.size()), formats_.data(), enumerator);
  if (result == S_OK)
    static_cast<DragEnumFormatEtc*>(*enumerator)->index_ = index_;
  return result;
}

// --- DataObjectWin ---

namespace {

// A new fixed block holding a copy of the block's bytes; null when it cannot be made.
HGLOBAL CopyGlobalBlock(HGLOBAL block) {
  const SIZE_T size = GlobalSize(block);
  const void* source = GlobalLock(block);
  if (!source)
    return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_FIXED, size);
  if (copy)
    std::memcpy(copy, source, size);
  GlobalUnlock(block);
  return copy;
}

}  // namespace

CComPtr<DataObjectWin> DataObjectWin::Create(const FORMATETC* formats, const STGMEDIUM* media, int count) {
  return CComPtr<DataObjectWin>(new DataObjectWin(formats, media, count));
}

DataObjectWin::DataObjectWin(const FORMATETC* formats, const STGMEDIUM* media, int count) {
  for (int i = 0; i < count; ++i) {
    formats_.push_back(formats[i]);
    media_.push_back(media[i]);
  }
}

DataObjectWin::~DataObjectWin() {
  for (STGMEDIUM& medium : media_)
    ReleaseStgMedium(&medium);
}

int DataObjectWin::FindFormat(const FORMATETC* format) const {
  for (size_t i = 0; i < formats_.size(); ++i) {
    if ((formats_[i].tymed & format->tymed) && formats_[i].cfFormat == format->cfFormat &&
        formats_[i].dwAspect == format->dwAspect)
      return static_cast<int>(i);
  }
  return -1;
}

HRESULT DataObjectWin::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!format || !medium)
    return E_INVALIDARG;
  const int index = FindFormat(format);
  if (index == -1)
    return DV_E_FORMATETC;
  HGLOBAL copy = CopyGlobalBlock(media_[index].hGlobal);
  if (!copy)
    return E_OUTOFMEMORY;
  medium->tymed = TYMED_HGLOBAL;
  medium->pUnkForRelease = nullptr;
  medium->hGlobal = copy;
  return S_OK;
}

HRESULT DataObjectWin::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
  return E_NOTIMPL;
}

HRESULT DataObjectWin::QueryGetData(FORMATETC* format) {
  if (!format)
    return E_INVALIDARG;
  return FindFormat(format) == -1 ? DV_E_FORMATETC : S_OK;
}

HRESULT DataObjectWin::GetCanonicalFormatEtc(FORMATETC* format_in, FORMATETC* format_out) {
  if (format_out)
    format_out->ptd = nullptr;
  return E_NOTIMPL;
}

HRESULT DataObjectWin::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  return E_NOTIMPL;
}

HRESULT DataObjectWin::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) {
  return DragEnumFormatEtc::MakeFormatEnumerator(static_cast<UINT>(formats_.size()), formats_.data(), enumerator);
}

HRESULT DataObjectWin::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) {
  return E_NOTIMPL;
}

HRESULT DataObjectWin::DUnadvise(DWORD connection) {
  return E_NOTIMPL;
}

HRESULT DataObjectWin::EnumDAdvise(IEnumSTATDATA** enumerator) {
  return E_NOTIMPL;
}

}  // namespace client
