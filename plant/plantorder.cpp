#include "plantorder.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// An order is a few hundred bytes; anything far longer is not read, nor kept in the schedule and
// the journal.
constexpr int MaxPayload = 4096;
constexpr int MaxOrderId = 64;

// A whole number in the JSON, or none.
bool readWhole(const QJsonValue &value, int *whole)
{
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || std::floor(number) != number || std::abs(number) > 1e9)
        return false;
    *whole = int(number);
    return true;
}

} // namespace

PlantOrder PlantOrder::parse(const QByteArray &payload)
{
    PlantOrder order;
    if (payload.size() > MaxPayload) {
        order.problem = QStringLiteral("сообщение длиннее %1 байт").arg(MaxPayload);
        return order;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        order.problem = QStringLiteral("сообщение не JSON-объект");
        return order;
    }
    const QJsonObject json = document.object();
    const QJsonValue id = json.value(QStringLiteral("orderId"));
    // The plant's numbering may be numbers; they are kept as the text they read as.
    order.orderId = id.isDouble() ? QString::number(id.toDouble(), 'g', 17) : id.toString();
    if (order.orderId.trimmed().isEmpty()) {
        order.problem = QStringLiteral("нет номера задания (orderId)");
        return order;
    }
    if (order.orderId.size() > MaxOrderId) {
        order.problem = QStringLiteral("номер задания (orderId) длиннее %1 знаков").arg(MaxOrderId);
        return order;
    }
    order.formula = json.value(QStringLiteral("formula")).toString().trimmed();
    order.product = json.value(QStringLiteral("product")).toString().trimmed();
    if (order.formula.isEmpty()) {
        if (order.product.isEmpty()) {
            order.problem = QStringLiteral("нет рецептуры (formula) или продукта (product)");
            return order;
        }
        if (!readWhole(json.value(QStringLiteral("doser")), &order.doser)) {
            order.problem = QStringLiteral("нет номера дозатора (doser)");
            return order;
        }
    }
    const QJsonValue size = json.value(QStringLiteral("size"));
    if (!size.isDouble() || !std::isfinite(size.toDouble()) || !(size.toDouble() > 0)) {
        order.problem = QStringLiteral("размер партии (size) не положительное число");
        return order;
    }
    order.size = size.toDouble();
    const QJsonValue count = json.value(QStringLiteral("count"));
    if (!count.isUndefined() && !readWhole(count, &order.count)) {
        order.problem = QStringLiteral("число партий (count) не целое");
        return order;
    }
    const QJsonValue lot = json.value(QStringLiteral("lot"));
    if (!lot.isUndefined() && !lot.isNull() && !lot.isString()) {
        order.problem = QStringLiteral("номер партии (lot) не строка");
        return order;
    }
    order.lot = lot.toString().trimmed();
    return order;
}
