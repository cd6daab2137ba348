#include "ui/widgets/ChannelLabels.h"

#include "core/store/ChannelName.h"

namespace {

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

// Record shown in column 1 of the four summary rows.
constexpr int kSummaryRecords[kFirstLoadRow] = {kConsumptionRecord, kSolarRecord, -1, kTotalRecord};
const char* const kSummaryWords[kFirstLoadRow] = {"Consumption", "Solar", "Balance", "Total"};

}  // namespace

QString recordName(const ChannelRecord& record) {
    return QString::fromStdString(channelName(record));
}

std::vector<ChannelTreeItem> channelTreeItems(const ChannelTable& live) {
    std::vector<ChannelTreeItem> items;
    items.push_back({QStringLiteral("All channel"), kAllChannels, false});
    for (int k = kFirstLoad; k <= kLastLoad; ++k)
        items.push_back({twoDigits(k) + QLatin1Char(' ') + recordName(live[k]), k, true});
    items.push_back({QStringLiteral("13 Consumption"), kConsumptionRecord, true});
    items.push_back({QStringLiteral("14 Solar"), kSolarRecord, true});
    items.push_back({QStringLiteral("Total"), kTotalRecord, false});
    return items;
}

QString channelLabel(int data, const ChannelTable& live) {
    if (data < 0 || data >= kChannelRecords) return QString();
    return twoDigits(shownChannelNumber(data)) + QLatin1Char(' ') + recordName(live[data]);
}

QString livePowerText(int row, const ChannelTable& live) {
    if (row < 0 || row >= kListRows) return QString();
    if (row >= kFirstLoadRow) return QString::number(live[row - 3].power);
    if (kSummaryRecords[row] >= 0) return QString::number(live[kSummaryRecords[row]].power);
    // 64-bit difference: negative while consumption exceeds generation, never wrapped.
    const int64_t balance =
        int64_t{live[kSolarRecord].power} - int64_t{live[kConsumptionRecord].power};
    return QString::number(balance);
}

LiveListRows liveListRows(const ChannelTable& live) {
    LiveListRows rows;
    for (int row = 0; row < kListRows; ++row) {
        if (row < kFirstLoadRow) {
            rows[row][0] = QString::fromLatin1(kSummaryWords[row]);
            rows[row][2] = rows[row][0];
        } else {
            rows[row][0] = twoDigits(row - 3);
            rows[row][2] = recordName(live[row - 3]);
        }
        rows[row][1] = livePowerText(row, live);
    }
    return rows;
}
