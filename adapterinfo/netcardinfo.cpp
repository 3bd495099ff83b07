#include "netcardinfo.h"

// platform
#include "MessageSeam.h"
#include "StrToInt.h"

// Qt
#include <QStringList>

namespace {

TAdapterSource &adapterSource()
{
    static TAdapterSource source;
    return source;
}

QList<ws::TAdapter> readAdapters()
{
    const TAdapterSource &source = adapterSource();
    return source ? source() : ws::ReadAdapters();
}

QString noNetworkText()
{
    return QStringLiteral("请检查本机网络连接是否正常");
}

// Removes characters with codes 0 to 32 at both ends (not the Unicode notion of blank).
QString trimControls(const QString &s)
{
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && s.at(first).unicode() <= 32)
        ++first;
    while (last > first && s.at(last - 1).unicode() <= 32)
        --last;
    return s.mid(first, last - first);
}

// The characters after a marker of two characters at `from` up to the one before `to`; empty
// when a position is missing or they are out of order.
QString between(const QString &text, qsizetype from, qsizetype to)
{
    if (from < 0 || to < from + 2)
        return {};
    return trimControls(text.mid(from + 2, to - from - 2));
}

QString firstAddress(const QString &text)
{
    return between(text, text.indexOf(QLatin1String("A:")), text.indexOf(QLatin1String("M:")));
}

} // namespace

TAdapterSource SetAdapterSource(TAdapterSource source)
{
    TAdapterSource previous = std::move(adapterSource());
    adapterSource() = std::move(source);
    return previous;
}

QString ReadAdapterText()
{
    const QList<ws::TAdapter> adapters = readAdapters();
    if (adapters.isEmpty())
        return {};
    QList<ws::TAdapterAddress> addresses = adapters.first().Addresses;
    // The original list always holds one address entry in the adapter record itself: an adapter
    // without address shows it as 0.0.0.0 with mask 0.0.0.0.
    if (addresses.isEmpty())
        addresses.append(ws::TAdapterAddress{QStringLiteral("0.0.0.0"), QStringLiteral("0.0.0.0")});
    QString text;
    for (const ws::TAdapterAddress &a : addresses)
        text += QStringLiteral("A: ") + a.Address + QStringLiteral(" M: ") + a.Mask + QLatin1Char('\r');
    return text;
}

QString GetLocalAddress()
{
    const QString text = ReadAdapterText();
    if (text.isEmpty())
        return QStringLiteral("127.0.0.1");
    return firstAddress(text);
}

QString GetBroadcastAddress()
{
    bool told = false;
    const auto tell = [&told] {
        if (!told)
            ui::ShowMessage(noNetworkText());
        told = true;
    };

    const QString text = ReadAdapterText();
    if (text.isEmpty())
        tell();
    const QString address = firstAddress(text);
    if (address == QLatin1String("0.0.0.0"))
        tell();
    const QString mask = between(text, text.indexOf(QLatin1String("M:")), text.indexOf(QLatin1Char('\r')));

    const std::optional<TFourBytes> a = DottedToBytes(address);
    const std::optional<TFourBytes> m = DottedToBytes(mask);
    if (!a || !m) {
        // Nothing to combine: the limited broadcast address still reaches the local network.
        tell();
        return QStringLiteral("255.255.255.255");
    }
    QStringList parts;
    for (size_t i = 0; i < 4; ++i) {
        const unsigned net = (*a)[i] & (*m)[i];
        const unsigned host = (*m)[i] ^ 255u;
        parts.append(QString::number(net + host));
    }
    return parts.join(QLatin1Char('.'));
}

std::optional<TFourBytes> DottedToBytes(const QString &dotted)
{
    QStringList parts;
    qsizetype start = 0;
    for (int i = 0; i < 3; ++i) {
        const qsizetype dot = dotted.indexOf(QLatin1Char('.'), start);
        if (dot < 0)
            return std::nullopt;
        parts.append(dotted.mid(start, dot - start));
        start = dot + 1;
    }
    parts.append(dotted.mid(start)); // further dots stay in the last part

    TFourBytes bytes{};
    for (size_t i = 0; i < 4; ++i) {
        int32_t v = 0;
        if (!TryStrToInt(parts[static_cast<qsizetype>(i)], v) || v < 0 || v > 255)
            return std::nullopt;
        bytes[i] = static_cast<uint8_t>(v);
    }
    return bytes;
}
