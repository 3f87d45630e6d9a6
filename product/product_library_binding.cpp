#include "product/product_helper_impl.h"

// Binding of the companion library "Utils\product_helper.dll". It may be loaded only after its
// signer check, which this program does not have yet; until then no library is ever bound and
// an object without a usable ProductInfo.dat stays not loaded. The library branches of the
// getters (the getter table, free_str) are in place and wait for this binding to fill them.
bool ProductHelperImpl::LoadProductHelperDll(const wchar_t* libraryPath) {
  _BaseModule::CAutoLocker locker(&m_lock);
  if (m_bLoaded) return true;
  return false;
}
