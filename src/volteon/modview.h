// A module's box in the structure window: label on a coloured ground, a
// state mark (muted, inactive, mono, poly), an optional picture of the
// type, port handles on both edges and a context menu by module type.
#pragma once

#include "src/mod/modwnd.h"
#include "src/volteon/voltwnd.h"

class IBmp;
class KSModul;
class IStructHost;

// Size, label area and indicator area of a box, in box pixels.
struct TBoxLayout {
  int32_t width = 0;
  int32_t height = 0;
  TArea label;
  TArea indicator; // empty: no indicator
};
TBoxLayout BoxLayout(int32_t category, int32_t index, int32_t inCount, int32_t outCount);
// The resource id of the context menu of a module type.
int32_t BoxMenuId(int32_t category, int32_t index);

// Bitmap ids of the boxes.
namespace picture {
constexpr int32_t kBoxMuted = 7600;
constexpr int32_t kBoxPoly = 7601;
constexpr int32_t kBoxMono = 7602;
constexpr int32_t kBoxInactive = 7603;
constexpr int32_t kBoxBackground = 7604;
constexpr int32_t kLampMark = 8014;
constexpr int32_t kLampTwinMark = 8015;
constexpr int32_t kLevelLampMark = 8016;
constexpr int32_t kButtonMark = 8088;
constexpr int32_t kFaderMark = 8089;
constexpr int32_t kKnobMark = 8090;
constexpr int32_t kSourceMark = 8091;
constexpr int32_t kFirstModulePicture = 8000, kLastModulePicture = 8112;
} // namespace picture

class TModView : public TVolteonView, public IModelView {
public:
  TModView(TTView* parent, KSModul* module);
  ~TModView() override;

  KSModul* GetModule() const { return module_; }
  const TArea& GetIndicatorArea() const { return indicator_; }

  void Redraw() { Invalidate(); }
  IStructHost* GetStructWnd() const;

  int IsSelected() override;
  void Select(int on, int exclusive) override;
  int GetHint(TStr& text, TArea& area) override;
  void DoubleClick(int32_t x, int32_t y) override;
  int Command(int32_t id, int mode, int& result) override;
  void Paint(IDrawContext* ctx, const TArea& clip) override;
  int IsInSelection() override;
  void DragTo(const TPnt& p) override;
  UndoKind GetMoveUndoKind() override;

private:
  KSModul* module_;
  IBmp* typeBitmap_ = nullptr;
  TArea label_;
  TArea indicator_;
};
