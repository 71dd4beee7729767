#pragma once
// Place for a document-layout model (text, title, table, figure ... regions).
// No inference backend is attached: loading always fails and detection finds
// nothing. The input preparation and output decoding a backend needs are here.

#include <QImage>
#include <QRectF>
#include <QString>

#include <memory>
#include <vector>

enum class LayoutClass {
    Text = 0,
    Title = 1,
    List = 2,
    Table = 3,
    Figure = 4,
    Caption = 5,
    Footnote = 6,
    Formula = 7,
    Header = 8,
    Footer = 9,
    Unknown = 10,
};

struct LayoutBlock {
    QRectF rect; // 0..1 of the model input
    int classId = 0;
    float score = 0.0f;
};

class LayoutDetector {
public:
    LayoutDetector() = default;

    bool load(const QString &modelPath);
    bool isLoaded() const { return model != nullptr; }
    QString lastError() const { return lastErrorText; }
    std::vector<LayoutBlock> detect(const QImage &page, float confThreshold, float iouThreshold) const;

    // Planar RGB floats (all red, then green, then blue), each 0..1.
    static std::vector<float> preprocess(const QImage &image, int width, int height);
    static std::vector<LayoutBlock> decodeYolo(const float *data, long dim1, long dim2, int classCount,
                                               float confThreshold);
    static std::vector<LayoutBlock> decodePostNMS(const float *data, long rows, int inputWidth, int inputHeight,
                                                  float confThreshold);
    static float iou(const QRectF &a, const QRectF &b);
    static void nms(std::vector<LayoutBlock> &blocks, float iouThreshold);

    LayoutClass mapClass(int modelClass) const;
    static QString className(LayoutClass layoutClass);

    void setClassCount(int count) { classCount = count; }
    void setAlternativeClassScheme(bool on) { alternativeScheme = on; }

private:
    std::shared_ptr<void> model; // stays empty: no backend
    int inputWidth = 1024;
    int inputHeight = 1024;
    int classCount = 10;
    bool alternativeScheme = false;
    QString lastErrorText;
};
