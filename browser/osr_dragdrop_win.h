// OLE drag and drop for off-screen views: the drop target registered on the off-screen window,
// the data object and format enumerator of a drag that a page starts, and its drop source.
//
// Threads: everything on the engine's UI thread, the off-screen window's thread (OLE calls a
// registered drop target on the thread that registered it, and DoDragDrop runs its loop on the
// caller's). Reference counts are therefore plain integers (SingleThreadComObject).
#pragma once

#include <windows.h>
#include <ole2.h>

#include <vector>

#include "compat/atlcomcli.h"
#include "include/cef_browser.h"
#include "include/cef_drag_data.h"

namespace client {

using ATL::CComPtr;

// One COM interface (and IUnknown) with a plain reference count: objects used on one thread.
// AddRef and Release answer the new count; the last Release deletes the object.
template <typename Interface, const IID* kInterfaceId>
class SingleThreadComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object)
      return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, *kInterfaceId)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++ref_count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--ref_count_ == 0) {
      delete this;
      return 0;
    }
    return ref_count_;
  }

 protected:
  explicit SingleThreadComObject(ULONG initial_count = 0) : ref_count_(initial_count) {}
  virtual ~SingleThreadComObject() {}

 private:
  ULONG ref_count_;
};

// What the drop target tells the off-screen window. Mouse events carry the cursor in the window's
// client coordinates (device pixels) and the modifiers of the OLE key state; the results are the
// operations the page accepts.
class OsrDragEvents {
 public:
  virtual cef_drag_operations_mask_t OnDragEnter(CefRefPtr<CefDragData> drag_data, CefMouseEvent ev,
                                                 cef_drag_operations_mask_t effect) = 0;
  virtual cef_drag_operations_mask_t OnDragOver(CefMouseEvent ev, cef_drag_operations_mask_t effect) = 0;
  virtual void OnDragLeave() = 0;
  virtual cef_drag_operations_mask_t OnDrop(CefMouseEvent ev, cef_drag_operations_mask_t effect) = 0;

  virtual ~OsrDragEvents() {}
};

class DropTargetWin : public SingleThreadComObject<IDropTarget, &IID_IDropTarget> {
 public:
  // callback: the off-screen window, not owned; it must outlive the target's registration.
  static CComPtr<DropTargetWin> Create(OsrDragEvents* callback, HWND hWnd);

  // Runs the modal OLE drag of data a page started dragging and returns the operation the drop
  // performed (DRAG_OPERATION_NONE unless something was dropped). While it runs, a drag over this
  // window itself hands OnDragEnter a copy of drag_data without its file contents. browser, x
  // and y are not used.
  cef_drag_operations_mask_t StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> drag_data,
                                           cef_drag_operations_mask_t allowed_ops, int x, int y);

  // IDropTarget; each answers S_OK and writes the page's operation into *effect.
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data_object, DWORD key_state, POINTL cursor_position,
                                      DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD key_state, POINTL cursor_position, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data_object, DWORD key_state, POINTL cursor_position,
                                 DWORD* effect) override;

 protected:
  DropTargetWin(OsrDragEvents* callback, HWND hWnd);
  ~DropTargetWin() override;

  // DoDragDrop; a seam for tests.
  virtual HRESULT RunDragDrop(IDataObject* data_object, IDropSource* drop_source, DWORD ok_effects,
                              DWORD* effect);

 private:
  OsrDragEvents* const callback_;
  const HWND hWnd_;
  // Set only while this window's own drag runs.
  CefRefPtr<CefDragData> current_drag_data_;
};

class DropSourceWin : public SingleThreadComObject<IDropSource, &IID_IDropSource> {
 public:
  static CComPtr<DropSourceWin> Create();

  // Escape cancels, even with the button still down; releasing the left button drops.
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape_pressed, DWORD key_state) override;
  // Always the system's cursors.
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

 protected:
  DropSourceWin() = default;
  ~DropSourceWin() override = default;
};

class DragEnumFormatEtc : public SingleThreadComObject<IEnumFORMATETC, &IID_IEnumFORMATETC> {
 public:
  // A new enumerator (one reference, the caller's) over copies of the count formats. E_INVALIDARG
  // when count is 0 or a pointer is null.
  static HRESULT MakeFormatEnumerator(UINT count, const FORMATETC* formats, IEnumFORMATETC** enumerator);
  // Copies source into dest, with a copy of its target device (CoTaskMemAlloc) when it has one.
  static void DeepCopyFormatEtc(FORMATETC* dest, const FORMATETC* source);

  // Copies up to count entries from the current position; S_OK when count were copied.
  HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
  // S_FALSE when the position is then past the end (it is not clamped).
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  // A new enumerator over the same formats at the same position.
  HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** enumerator) override;

 private:
  DragEnumFormatEtc(const FORMATETC* formats, UINT count);
  ~DragEnumFormatEtc() override;

  ULONG index_ = 0;
  std::vector<FORMATETC> formats_;
};

class DataObjectWin : public SingleThreadComObject<IDataObject, &IID_IDataObject> {
 public:
  // Copies the formats and takes the media over: their memory is freed with the object.
  static CComPtr<DataObjectWin> Create(const FORMATETC* formats, const STGMEDIUM* media, int count);

  // A copy of the stored block of the first entry matching the format, aspect and a medium type;
  // the caller owns it. DV_E_FORMATETC when none matches.
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* format_in, FORMATETC* format_out) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  // An enumerator over the formats, whatever the direction.
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** enumerator) override;

  int format_count() const { return static_cast<int>(formats_.size()); }

 private:
  DataObjectWin(const FORMATETC* formats, const STGMEDIUM* media, int count);
  ~DataObjectWin() override;

  // Index of the first entry matching format, -1 when none.
  int FindFormat(const FORMATETC* format) const;

  std::vector<FORMATETC> formats_;
  std::vector<STGMEDIUM> media_;
};

// OLE drop effects and the engine's drag operations, bit by bit (copy, move, link); other bits
// are dropped.
cef_drag_operations_mask_t DropEffectToDragOperation(DWORD effect);
DWORD DragOperationToDropEffect(cef_drag_operations_mask_t operation);

}  // namespace client
