#include <shlwapi.h>

#include "product/product_helper_impl.h"
#include "product/signer_verification.h"

namespace {

// The value getters of the product-information library, by ProductValueIndex.
const char* const kValueGetterNames[kProductValueCount] = {
    "get_channel_id",
    "get_app_path",
    "get_install_date",
    "get_install_dir",
    "get_public_cfg_dir",
    "get_appdata_dir",
    "get_config_file",
    "get_default_stat_url",
    "get_cfg_center_ver_url",
    "get_cfg_center_detail_url",
    "get_cfg_center_msg_wnd_class",
    "get_cfg_center_stub_msg_wnd_class",
    "get_cfg_center_single_mutex",
    "get_dump_url",
    "get_services_url",
    "get_app",
    "get_short_app",
    "get_short_name",
    "get_drive_name",
    "get_drive_path",
    "get_tdi_drive_name",
    "get_tdi_drive_path",
    "get_service_name",
    "get_service_path",
    "get_appdata_config_file_path",
};

template <typename Function>
Function LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

// Binding of the companion library "Utils\product_helper.dll": loaded only after its signer
// check, and never freed. A library that the binding then rejects (a required export missing,
// an empty version) leaves no entry point behind, so it never answers for the object.
bool ProductHelperImpl::LoadProductHelperDll(const wchar_t* libraryPath) {
  _BaseModule::CAutoLocker locker(&m_lock);
  if (m_bLoaded) return true;
  if (!libraryPath || !PathFileExistsW(libraryPath)) return false;
  HMODULE module = SafeLoadLibrary(libraryPath);
  if (!module) return false;

  m_pfnFreeStr = LookUp<FreeStrFunc>(module, "free_str");
  m_pfnGetProductId = LookUp<GetTextFunc>(module, "get_prduct_id");
  m_pfnGetInstalledProductIdList = LookUp<GetTextFunc>(module, "get_installed_prduct_id_list");
  m_pfnGetProductInfoVer = LookUp<GetTextFunc>(module, "get_product_info_ver");
  bool bound = m_pfnFreeStr && m_pfnGetProductId && m_pfnGetInstalledProductIdList && m_pfnGetProductInfoVer;
  if (bound) {
    m_pfnGetGeneralValue = LookUp<GetGeneralValueFunc>(module, "get_general_value");
    m_vecValueGetters.clear();
    for (int index = 0; index < kProductValueCount; ++index) {
      m_vecValueGetters.emplace_back(index, LookUp<GetValueFunc>(module, kValueGetterNames[index]));
    }
    m_strProductInfoVersion = GetProductInfoVersion();
    bound = !m_strProductInfoVersion.empty();
  }
  if (!bound) {
    m_pfnFreeStr = nullptr;
    m_pfnGetProductId = nullptr;
    m_pfnGetInstalledProductIdList = nullptr;
    m_pfnGetProductInfoVer = nullptr;
    m_pfnGetGeneralValue = nullptr;
    m_vecValueGetters.clear();
    return false;
  }
  m_strProductId = GetProductId();
  m_bLoaded = true;
  return true;
}
