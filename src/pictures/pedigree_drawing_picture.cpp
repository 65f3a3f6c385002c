#include "pictures/pedigree_drawing_picture.h"

#include <graphviz/gvc.h>

#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <charconv>
#include <memory>
#include <mutex>
#include <string>

#include "pictures/sex_symbol.h"
#include "report/number_format.h"

namespace kinvar::pictures {

namespace {

constexpr double kMargin = 24;
constexpr double kTitleHeight = 40;
constexpr double kLegendHeight = 36;
constexpr double kIdFont = 13;
constexpr double kFamilyFont = 11;
constexpr double kMateFont = 9;
constexpr double kYearFont = 11;
constexpr double kScaleWidth = 180;



QString Q(const std::string& text) { return QString::fromStdString(text); }

QString FamilyCount(const DrawingNode& node) { return QStringLiteral("%1 full sibs").arg(node.Count()); }
QString FamilyParents(const DrawingNode& node) {
  return QStringLiteral("of %1 x %2").arg(Q(node.sireId), Q(node.damId));
}

// The birth year after the ID, in the lighter font; empty when not known.
QString YearText(const DrawingNode& node) {
  return node.birthYear == 0 ? QString() : QStringLiteral(" %1").arg(node.birthYear);
}

// A symbol's side and the room it takes with its gap, by the ID's font.
double SymbolSide(double font) { return font * 0.85; }
double SymbolRoom(double font) { return SymbolSide(font) + font * 0.4; }

QSizeF NodeSize(const DrawingNode& node) {
  switch (node.kind) {
    case DrawingNodeKind::kIndividual:
      return {TextWidth(PictureFont(kIdFont, true), Q(node.id)) +
                  TextWidth(PictureFont(kYearFont, false), YearText(node)) + SymbolRoom(kIdFont) + 16,
              26};
    case DrawingNodeKind::kFamily: {
      const QFont font = PictureFont(kFamilyFont, false);
      return {std::max(TextWidth(PictureFont(kFamilyFont, true), FamilyCount(node)),
                       TextWidth(font, FamilyParents(node))) + 16,
              36};
    }
    case DrawingNodeKind::kMate:
      return {TextWidth(PictureFont(kMateFont, false), Q(node.id)) + SymbolRoom(kMateFont) + 8, 15};
  }
  return {};
}

// Graphviz's objects, freed in the reverse order of making.
struct ContextFree {
  void operator()(GVC_t* context) const { gvFreeContext(context); }
};
struct GraphClose {
  void operator()(Agraph_t* graph) const { agclose(graph); }
};
using Context = std::unique_ptr<GVC_t, ContextFree>;
using Graph = std::unique_ptr<Agraph_t, GraphClose>;

struct LaidOut {
  GVC_t* context;
  Agraph_t* graph;
  ~LaidOut() { gvFreeLayout(context, graph); }
};

char* Text(const char* text) { return const_cast<char*>(text); }  // cgraph takes char*

// Whatever the user's locale: Graphviz reads a point.
std::string Number(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4).ptr;
  return std::string(text, end);
}

// The graph: fixed-size boxes without labels (the texts are Qt's), the
// nodes of a row in one rank.
std::vector<Agnode_t*> AddNodes(Agraph_t* graph, const PedigreeDrawing& drawing) {
  Agsym_t* width = agattr(graph, AGNODE, Text("width"), Text("1"));
  Agsym_t* height = agattr(graph, AGNODE, Text("height"), Text("0.4"));
  std::vector<Agraph_t*> ranks;
  for (int row = 0; row < drawing.rows; ++row) {
    const std::string name = "row" + std::to_string(row);
    Agraph_t* rank = agsubg(graph, Text(name.c_str()), 1);
    agsafeset(rank, Text("rank"), Text("same"), Text(""));
    ranks.push_back(rank);
  }
  std::vector<Agnode_t*> nodes;
  for (std::size_t i = 0; i < drawing.nodes.size(); ++i) {
    const std::string name = "n" + std::to_string(i);
    Agnode_t* node = agnode(graph, Text(name.c_str()), 1);
    const QSizeF size = NodeSize(drawing.nodes[i]);
    agxset(node, width, Text(Number(size.width() / 72).c_str()));
    agxset(node, height, Text(Number(size.height() / 72).c_str()));
    agsubnode(ranks[static_cast<std::size_t>(drawing.nodes[i].row)], node, 1);
    nodes.push_back(node);
  }
  return nodes;
}

Graph MakeGraph(const PedigreeDrawing& drawing, std::vector<Agnode_t*>& nodes,
                std::vector<Agedge_t*>& edges) {
  Graph graph(agopen(Text("drawing"), Agdirected, nullptr));
  agattr(graph.get(), AGRAPH, Text("nodesep"), Text("0.12"));
  agattr(graph.get(), AGRAPH, Text("ranksep"), Text("0.6"));
  // The rows are given, so the crossing reduction and the placement need
  // few rounds; without a bound a drawing of thousands of nodes takes
  // tens of seconds for hardly a better picture. The placement's rounds
  // (nslimit) cost the most: half a round a node draws 4,900 nodes in
  // under 3 s where two took 8 s, and every round keeps the boxes apart.
  agattr(graph.get(), AGRAPH, Text("mclimit"), Text("0.1"));
  agattr(graph.get(), AGRAPH, Text("nslimit"), Text("0.5"));
  agattr(graph.get(), AGRAPH, Text("nslimit1"), Text("0.5"));
  agattr(graph.get(), AGRAPH, Text("remincross"), Text("false"));
  agattr(graph.get(), AGNODE, Text("shape"), Text("box"));
  agattr(graph.get(), AGNODE, Text("fixedsize"), Text("true"));
  agattr(graph.get(), AGNODE, Text("label"), Text(""));
  agattr(graph.get(), AGEDGE, Text("dir"), Text("none"));
  nodes = AddNodes(graph.get(), drawing);
  for (const DrawingEdge& e : drawing.edges)
    edges.push_back(agedge(graph.get(), nodes[static_cast<std::size_t>(e.parent)],
                           nodes[static_cast<std::size_t>(e.progeny)], nullptr, 1));
  return graph;
}

QPainterPath EdgePath(Agedge_t* edge, const QPointF& origin, double top) {
  QPainterPath path;
  const splines* spline = ED_spl(edge);
  if (spline == nullptr) return path;
  const auto at = [&](pointf p) { return QPointF(origin.x() + p.x, origin.y() + top - p.y); };
  for (int b = 0; b < spline->size; ++b) {
    const bezier& curve = spline->list[b];
    if (curve.size == 0) continue;
    path.moveTo(at(curve.list[0]));
    for (int i = 1; i + 2 < curve.size; i += 3)
      path.cubicTo(at(curve.list[i]), at(curve.list[i + 1]), at(curve.list[i + 2]));
  }
  return path;
}

double LegendWidth(const PedigreeDrawing& drawing) {
  const QFont font = PictureFont(12, false);
  double width = TextWidth(font, QStringLiteral("F")) + 8 + kScaleWidth + 40;
  if (drawing.request.group >= 0)
    width += TextWidth(font, QStringLiteral("Group %1").arg(drawing.groupNumber)) + 50;
  if (drawing.request.kinship == Kinship::kDescendants)
    width += TextWidth(font, QStringLiteral("Mate from outside")) + 50;
  return width;
}

}  // namespace

DrawingLayout LayOutPedigreeDrawing(const PedigreeDrawing& drawing) {
  DrawingLayout layout;
  const QPointF origin(kMargin, kMargin + kTitleHeight + kLegendHeight);
  QSizeF graphSize(0, 0);
  if (!drawing.nodes.empty()) {
    // Graphviz is not thread-safe: its layouts keep global state.
    static std::mutex graphviz;
    const std::lock_guard<std::mutex> one(graphviz);
    const Context context(gvContext());
    std::vector<Agnode_t*> nodes;
    std::vector<Agedge_t*> edges;
    const Graph graph = MakeGraph(drawing, nodes, edges);
    gvLayout(context.get(), graph.get(), "dot");
    const LaidOut laidOut{context.get(), graph.get()};
    const boxf bb = GD_bb(graph.get());
    const double top = bb.UR.y;
    graphSize = QSizeF(bb.UR.x - bb.LL.x, bb.UR.y - bb.LL.y);
    for (Agnode_t* node : nodes) {
      const double w = ND_width(node) * 72, h = ND_height(node) * 72;
      const pointf c = ND_coord(node);
      layout.nodes.emplace_back(origin.x() + c.x - bb.LL.x - w / 2, origin.y() + top - c.y - h / 2, w, h);
    }
    for (Agedge_t* edge : edges)
      layout.edges.push_back(EdgePath(edge, QPointF(origin.x() - bb.LL.x, origin.y()), top));
  }
  const double legendWidth = LegendWidth(drawing);
  const double width = std::max(graphSize.width(), std::max(legendWidth, 360.0));
  layout.title = QRectF(kMargin, kMargin, width, kTitleHeight);
  layout.legend = QRectF(kMargin, kMargin + kTitleHeight, legendWidth, kLegendHeight - 8);
  layout.size = QSizeF(width + 2 * kMargin, origin.y() + graphSize.height() + kMargin);
  return layout;
}

namespace {

// White at F 0 to a warm red at the drawing's largest F, light enough for
// black text all the way.
QColor ColourOf(float f, float maxF) {
  const double t = maxF > 0 ? std::clamp(static_cast<double>(f) / static_cast<double>(maxF), 0.0, 1.0) : 0.0;
  const QColor low(0xff, 0xff, 0xff), mid(0xfd, 0xd4, 0x9e), high(0xef, 0x65, 0x48);
  const auto mix = [](const QColor& a, const QColor& b, double s) {
    const auto channel = [s](int from, int to) { return from + static_cast<int>((to - from) * s + 0.5); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()));
  };
  return t < 0.5 ? mix(low, mid, t * 2) : mix(mid, high, t * 2 - 1);
}

QPen Outline(const DrawingNode& node) {
  if (node.groupMembers > 0) return QPen(QColor(0x1d, 0x4e, 0xd8), 3);
  if (node.kind == DrawingNodeKind::kMate) return QPen(QColor(0x88, 0x88, 0x88), 1, Qt::DashLine);
  return QPen(QColor(0x44, 0x44, 0x44), 1);
}

void PaintNode(QPainter& painter, const PedigreeDrawing& drawing, const DrawingNode& node,
               const QRectF& rect) {
  painter.setPen(Outline(node));
  painter.setBrush(ColourOf(node.f, drawing.maxF));
  painter.drawRect(rect);
  painter.setPen(Qt::black);
  if (node.kind == DrawingNodeKind::kFamily) {
    const QRectF upper(rect.left(), rect.top(), rect.width(), rect.height() / 2);
    const QRectF lower(rect.left(), rect.center().y(), rect.width(), rect.height() / 2);
    painter.setFont(PictureFont(kFamilyFont, true));
    painter.drawText(upper, Qt::AlignHCenter | Qt::AlignBottom, FamilyCount(node));
    painter.setFont(PictureFont(kFamilyFont, false));
    painter.drawText(lower, Qt::AlignHCenter | Qt::AlignTop, FamilyParents(node));
    return;
  }
  const bool mate = node.kind == DrawingNodeKind::kMate;
  const QFont idFont = PictureFont(mate ? kMateFont : kIdFont, !mate);
  const QFont yearFont = PictureFont(kYearFont, false);
  const QString year = mate ? QString() : YearText(node);
  const double font = mate ? kMateFont : kIdFont;
  const double idWidth = TextWidth(idFont, Q(node.id));
  const double yearWidth = TextWidth(yearFont, year);
  // Symbol, ID and year centred together in the box.
  double x = rect.center().x() - (SymbolRoom(font) + idWidth + yearWidth) / 2;
  const double side = SymbolSide(font);
  PaintSexSymbol(painter, node.sex, QRectF(x, rect.center().y() - side / 2, side, side), mate ? 0.8 : 1.2);
  x += SymbolRoom(font);
  painter.setPen(Qt::black);
  painter.setFont(idFont);
  painter.drawText(QRectF(x, rect.top(), idWidth + 1, rect.height()), Qt::AlignLeft | Qt::AlignVCenter, Q(node.id));
  if (year.isEmpty()) return;
  painter.setPen(QColor(0x44, 0x44, 0x44));
  painter.setFont(yearFont);
  painter.drawText(QRectF(x + idWidth, rect.top(), yearWidth + 1, rect.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, year);
}

void PaintLegend(QPainter& painter, const PedigreeDrawing& drawing, const QRectF& legend) {
  const QFont font = PictureFont(12, false);
  painter.setFont(font);
  painter.setPen(Qt::black);
  double x = legend.left();
  const double y = legend.top() + 4, h = legend.height() - 16;
  const auto label = [&](const QString& text) {
    const double w = TextWidth(font, text);
    painter.drawText(QRectF(x, legend.top(), w + 2, legend.height()), Qt::AlignLeft | Qt::AlignTop, text);
    x += w + 8;
  };
  label(QStringLiteral("F"));
  QLinearGradient gradient(x, 0, x + kScaleWidth, 0);
  for (const double stop : {0.0, 0.25, 0.5, 0.75, 1.0})
    gradient.setColorAt(stop, ColourOf(static_cast<float>(stop) * drawing.maxF, drawing.maxF));
  painter.setPen(QPen(QColor(0x44, 0x44, 0x44), 1));
  painter.setBrush(gradient);
  painter.drawRect(QRectF(x, y, kScaleWidth, h));
  painter.setPen(Qt::black);
  const QRectF ticks(x, y + h, kScaleWidth, 14);
  painter.setFont(PictureFont(10, false));
  painter.drawText(ticks, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
  painter.drawText(ticks, Qt::AlignRight | Qt::AlignTop,
                   Q(FormatNumber(drawing.numberFormat, drawing.maxF)));
  painter.setFont(font);
  x += kScaleWidth + 40;
  const auto sample = [&](const QPen& pen, const QString& text) {
    painter.setPen(pen);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(x, y, 30, h));
    painter.setPen(Qt::black);
    x += 38;
    label(text);
    x += 12;
  };
  if (drawing.request.group >= 0)
    sample(QPen(QColor(0x1d, 0x4e, 0xd8), 3), QStringLiteral("Group %1").arg(drawing.groupNumber));
  if (drawing.request.kinship == Kinship::kDescendants)
    sample(QPen(QColor(0x88, 0x88, 0x88), 1, Qt::DashLine), QStringLiteral("Mate from outside"));
}

void PaintDrawing(QPainter& painter, const PedigreeDrawing& drawing, const DrawingLayout& layout,
                  const QString& title) {
  painter.fillRect(QRectF(QPointF(0, 0), layout.size), Qt::white);
  painter.setFont(PictureFont(20, true));
  painter.setPen(Qt::black);
  painter.drawText(layout.title, Qt::AlignLeft | Qt::AlignTop, title);
  PaintLegend(painter, drawing, layout.legend);
  painter.setPen(QPen(QColor(0x66, 0x66, 0x66), 1));
  painter.setBrush(Qt::NoBrush);
  for (const QPainterPath& edge : layout.edges) painter.drawPath(edge);
  for (std::size_t i = 0; i < drawing.nodes.size(); ++i)
    PaintNode(painter, drawing, drawing.nodes[i], layout.nodes[i]);
}

}  // namespace

Picture PedigreeDrawingPicture(const PedigreeDrawing& drawing) {
  return PedigreeDrawingPicture(drawing, LayOutPedigreeDrawing(drawing));
}

Picture PedigreeDrawingPicture(const PedigreeDrawing& drawing, DrawingLayout laidOut) {
  auto shared = std::make_shared<const PedigreeDrawing>(drawing);
  auto layout = std::make_shared<const DrawingLayout>(std::move(laidOut));
  const QString title = Q(DrawingTitle(drawing));
  Picture picture{title, layout->size, [shared, layout, title](QPainter& painter) {
                    PaintDrawing(painter, *shared, *layout, title);
                  }};
  // A family node stands for several animals: none of them is offered.
  picture.idAt = [shared, layout](const QPointF& point) {
    for (std::size_t i = 0; i < layout->nodes.size() && i < shared->nodes.size(); ++i)
      if (shared->nodes[i].kind == DrawingNodeKind::kIndividual && layout->nodes[i].contains(point))
        return Q(shared->nodes[i].id);
    return QString();
  };
  return picture;
}

std::optional<std::size_t> FindDrawingNode(const PedigreeDrawing& drawing, const QString& id) {
  const QString wanted = id.trimmed();
  if (wanted.isEmpty()) return std::nullopt;
  const auto same = [&](const std::string& other) {
    return Q(other).compare(wanted, Qt::CaseInsensitive) == 0;
  };
  for (std::size_t i = 0; i < drawing.nodes.size(); ++i) {
    const DrawingNode& node = drawing.nodes[i];
    if (same(node.id) || std::any_of(node.memberIds.begin(), node.memberIds.end(), same)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> StartNode(const PedigreeDrawing& drawing) {
  for (std::size_t i = 0; i < drawing.nodes.size(); ++i) {
    const DrawingNode& node = drawing.nodes[i];
    const bool start = drawing.request.group >= 0
                           ? node.groupMembers > 0
                           : std::find(node.members.begin(), node.members.end(),
                                       drawing.request.individual) != node.members.end();
    if (start) return i;
  }
  return std::nullopt;
}

// 9 points are 12 logical units; the IDs are kIdFont units at zoom 1.
double ReadableDrawingZoom() { return 12.0 / kIdFont; }

}  // namespace kinvar::pictures
