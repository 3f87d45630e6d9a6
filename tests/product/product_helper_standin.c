/* Stand-in for the product family's product-information library, built in three variants:
 * STANDIN_FULL (every export), the four required exports only, and STANDIN_EMPTY_VERSION
 * (answers an empty version). It counts the texts it hands out and gets back. */
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define EXPORT __declspec(dllexport)

static volatile LONG g_handedOut;
static volatile LONG g_freed;

static const char* Hand(const char* text) {
  size_t size = strlen(text) + 1;
  char* copy = (char*)malloc(size);
  if (!copy) return NULL;
  memcpy(copy, text, size);
  InterlockedIncrement(&g_handedOut);
  return copy;
}

EXPORT void __cdecl free_str(const char* text) {
  InterlockedIncrement(&g_freed);
  free((void*)text);
}

EXPORT const char* __cdecl get_prduct_id(void) { return Hand("StandinProduct"); }
EXPORT const char* __cdecl get_installed_prduct_id_list(void) { return Hand("StandinProduct;OtherProduct"); }
#ifdef STANDIN_EMPTY_VERSION
EXPORT const char* __cdecl get_product_info_ver(void) { return Hand(""); }
#else
EXPORT const char* __cdecl get_product_info_ver(void) { return Hand("7.2.1"); }
#endif

#if defined(STANDIN_FULL) || defined(STANDIN_EMPTY_VERSION)
EXPORT const char* __cdecl get_general_value(const char* productId, const char* key) {
  char text[512];
  if (!productId || !key || strlen(productId) + strlen(key) > 400) return NULL;
  if (strcmp(key, "missing") == 0) return NULL;
  strcpy(text, "general:");
  strcat(text, productId);
  strcat(text, ":");
  strcat(text, key);
  return Hand(text);
}
EXPORT const char* __cdecl get_channel_id(const char* productId) { return Hand("channel-42"); }
EXPORT const char* __cdecl get_appdata_dir(const char* productId) { return Hand("C:\\Standin\\AppData"); }
/* Answers no value. */
EXPORT const char* __cdecl get_app(const char* productId) { return NULL; }
#endif

EXPORT LONG __cdecl standin_handed_out(void) { return g_handedOut; }
EXPORT LONG __cdecl standin_freed(void) { return g_freed; }
