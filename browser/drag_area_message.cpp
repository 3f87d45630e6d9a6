#include "browser/drag_area_message.h"

namespace client {

UINT DragAreaListWindowMessage() {
  static const UINT message = RegisterWindowMessageW(L"{B8C9762F-8204-4a71-BCE7-F641A5621BB3}");
  return message;
}

}  // namespace client
