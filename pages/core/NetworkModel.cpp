#include "pages/core/NetworkModel.h"

#include "display/core/Format.h"

#include <algorithm>

namespace kestrun {

namespace {

using Row = InterfaceRow;

// Where the current user's friendly names of adapters live, by adapter name.
constexpr wchar_t kAdapterNameMappings[] = L"Comm\\AdapterNameMappings";
constexpr size_t kMappedNameLength = 255;   // a 512-byte value, its terminator included
constexpr size_t kAdapterNameLength = 256;
constexpr size_t kTitleNameLength = 32;
constexpr uint32_t kLoopbackIndex = 1;

std::wstring Count(uint64_t value) { return Printf(L"%llu", static_cast<unsigned long long>(value)); }

// The counter columns: sized to their titles, right-aligned, ordered as numbers.
template <uint64_t Row::*Field>
std::wstring CounterText(const Row& row)
{
    return Count(row.*Field);
}

template <uint64_t Row::*Field>
int CounterOrder(const Row& a, const Row& b)
{
    return Order(a.*Field, b.*Field);
}

template <uint64_t Row::*Field>
ListColumn<Row> CounterColumn(const wchar_t* title)
{
    return {title, ColumnAlign::kRight, kAutoColumnWidth, &CounterText<Field>, &CounterOrder<Field>};
}

// An interface that carries traffic on a host: up, with a known speed.
bool Works(const platform::InterfaceRow& row)
{
    return row.index != kLoopbackIndex && row.operStatus == platform::kIfOperational && row.speed > 0;
}

// Keeps an error box from being stacked by the ticks that arrive while it is open.
class Reporting {
public:
    explicit Reporting(bool& flag) : flag_(flag) { flag_ = true; }
    ~Reporting() { flag_ = false; }
    Reporting(const Reporting&) = delete;
    Reporting& operator=(const Reporting&) = delete;

private:
    bool& flag_;
};

}  // namespace

const ColumnTable<InterfaceRow, kNetworkColumnCount>& InterfaceRowTraits::Columns()
{
    using A = ColumnAlign;
    static const ColumnTable<InterfaceRow, kNetworkColumnCount> columns = {{
        {L"Name", A::kLeft, 80, [](const Row& r) { return r.name; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.name, b.name); }},
        {L"Status", A::kLeft, 80, [](const Row& r) { return InterfaceStatusText(r.status); },
         [](const Row& a, const Row& b) { return Order(a.status, b.status); }},
        {L"Speed", A::kRight, 80, [](const Row& r) { return InterfaceSpeedText(r.speed); },
         [](const Row& a, const Row& b) { return Order(a.speed, b.speed); }},
        // The truncated difference: usages less than one percentage point apart compare equal.
        {L"Usage", A::kRight, 50, [](const Row& r) { return InterfaceUsageText(r.usage); },
         [](const Row& a, const Row& b) { return static_cast<int>(a.usage - b.usage); }},
        CounterColumn<&Row::bytesOut>(L"Bytes Sent"),
        CounterColumn<&Row::bytesIn>(L"Bytes Recv."),
        CounterColumn<&Row::bytesPerInterval>(L"Bytes/Interval"),
        CounterColumn<&Row::bytesTotal>(L"Bytes"),
        CounterColumn<&Row::unicastsPerInterval>(L"Unicasts/Interval"),
        CounterColumn<&Row::unicastsTotal>(L"Unicasts"),
        CounterColumn<&Row::nonUnicastsPerInterval>(L"Non-Unicasts/Interval"),
        CounterColumn<&Row::nonUnicastsTotal>(L"Non-Unicasts"),
        CounterColumn<&Row::discardedPerInterval>(L"Discarded/Interval"),
        CounterColumn<&Row::discardedTotal>(L"Discarded"),
        CounterColumn<&Row::errorsPerInterval>(L"Errors/Interval"),
        CounterColumn<&Row::errorsTotal>(L"Errors"),
    }};
    return columns;
}

std::wstring InterfaceStatusText(uint32_t status)
{
    static const wchar_t* const texts[] = {L"Disabled", L"Unreachable", L"Disconnected",
                                           L"Connecting", L"Connected", L"Operational"};
    if (status < std::size(texts)) return texts[status];
    return Printf(L"%lu", static_cast<unsigned long>(status));
}

std::wstring InterfaceSpeedText(uint64_t speed)
{
    const auto value = static_cast<unsigned long long>(speed);
    if (speed >= 1000000) return Printf(L"%llu Mbit/s", value / 1000000);
    if (speed >= 1000) return Printf(L"%llu kbit/s", value / 1000);
    return Printf(L"%llu bit/s", value);
}

std::wstring InterfaceUsageText(double usage)
{
    if (usage < 0.01) return L"0%";
    if (usage < 0.1) return Printf(L"%.2f%%", usage);
    if (usage < 1.0) return Printf(L"%.1f%%", usage);
    return Printf(L"%.0f%%", usage);
}

double InterfaceUsage(uint64_t bits, uint32_t milliseconds, uint64_t speed)
{
    if (milliseconds == 0 || speed == 0) return 0.0;
    const double usage = static_cast<double>(bits) * 1000.0 / milliseconds / static_cast<double>(speed) * 100.0;
    return std::min(usage, 100.0);
}

double HistoryFullScale(double peak, bool autoScale)
{
    if (!autoScale) return 100.0;
    if (peak <= 1.0) return 1.0;
    for (const double step : {2.0, 5.0, 10.0, 25.0, 50.0})
        if (step >= peak) return step;
    return 100.0;
}

HistoryScale ScaleFor(double fullScale)
{
    return {fullScale, Printf(L"%lu%%", static_cast<unsigned long>(fullScale)), Printf(L"%g%%", fullScale * 0.5)};
}

NetworkModel::NetworkModel(platform::Platform& platform, ListView& list)
    : platform_(platform), rows_(list)
{
    const platform::InterfaceTableTraits traits = platform.interfaces().Traits();
    counterMask_ = traits.counterBits >= 64 ? ~uint64_t{0} : (uint64_t{1} << traits.counterBits) - 1;
    hostTable_ = traits.virtualInterfaces;
}

void NetworkModel::InsertColumns() { rows_.InsertColumns(); }

// The table in the buffer kept for it: room for 31 rows at first, and as much as
// the table asks for when that is not enough.
bool NetworkModel::ReadInterfaceTable()
{
    platform::InterfaceTable& table = platform_.interfaces();
    if (table_.size == 0 && !table.AllocateTable(table_, kInitialIfTableBytes)) {
        Reporting box(reporting_);
        ShowError(L"The interface table cannot be read.");
        return false;
    }
    uint32_t required = table_.size;
    if (table.GetIfTable(table_, required)) return true;
    if (!table.AllocateTable(table_, required)) {  // the old buffer is gone: the next read starts again
        Reporting box(reporting_);
        ShowError(L"Required memory cannot be allocated.");
        return false;
    }
    if (table.GetIfTable(table_, required)) return true;
    {
        Reporting box(reporting_);
        ShowError(L"The interface table cannot be read.");
    }
    table_ = {};
    return false;
}

bool NetworkModel::RefreshList()
{
    if (reporting_) return false;
    const auto pass = rows_.BeginRefresh();
    if (!pass) return false;
    const uint32_t tick = platform_.kernel().GetTickCount();
    if (!ReadInterfaceTable()) return false;

    const uint32_t elapsed = previousTick_ ? tick - *previousTick_ : 0;
    Sample sample;
    StartSample(sample);
    for (const platform::InterfaceRow& entry : table_.rows) {
        if (entry.index == kLoopbackIndex) continue;
        UpdateRow(entry, TakeUsage(entry, true, elapsed, sample));
    }
    FinishSample(sample, tick);
    rows_.FinishRefresh();
    ReadSelection();
    return true;
}

bool NetworkModel::CalcHiddenUsage()
{
    if (reporting_) return false;
    const uint32_t tick = platform_.kernel().GetTickCount();
    if (!ReadInterfaceTable()) return false;

    const uint32_t elapsed = previousTick_ ? tick - *previousTick_ : 0;
    // The device's page follows the first rows only; a host has far more, and all count.
    const size_t limit = hostTable_ ? table_.rows.size() : kHiddenRowLimit;
    Sample sample;
    StartSample(sample);
    for (size_t i = 0; i < table_.rows.size(); ++i) {
        if (table_.rows[i].index == kLoopbackIndex) continue;
        TakeUsage(table_.rows[i], i < limit, elapsed, sample);
    }
    FinishSample(sample, tick);
    return true;
}

void NetworkModel::StartSample(Sample& sample)
{
    ++pass_;
    // The device's average is over every table row but one (loopback's place, whether
    // or not loopback is there); a table of one row divides by one, not by zero.
    // A host's is over the interfaces that work, counted as they come.
    sample.divisor = hostTable_ ? 0 : std::max<size_t>(table_.rows.size(), 2) - 1;
}

double NetworkModel::TakeUsage(const platform::InterfaceRow& row, bool takesPart, uint32_t elapsed, Sample& sample)
{
    const uint64_t bytes = Wrap(row.inOctets + row.outOctets);
    auto [previous, fresh] = previous_.try_emplace(row.index);
    double usage = 0.0;
    if (!fresh && previousTick_) usage = InterfaceUsage(Wrap(Wrap(bytes - previous->second.bytes) * 8), elapsed, row.speed);
    previous->second = {bytes, pass_};
    if (!takesPart) return usage;

    if (selectedOnly_) {
        if (row.index == selectedIndex_) sample.selected = usage;
    } else if (!hostTable_) {
        sample.sum += usage;
    } else if (Works(row)) {
        sample.sum += usage;
        ++sample.divisor;
    }
    return usage;
}

void NetworkModel::FinishSample(const Sample& sample, uint32_t tick)
{
    if (selectedOnly_)
        usage_ = sample.selected;
    else
        usage_ = sample.divisor == 0 ? 0.0 : sample.sum / static_cast<double>(sample.divisor);
    previousTick_ = tick;
    std::erase_if(previous_, [this](const auto& item) { return item.second.pass != pass_; });  // gone from the table
}

void NetworkModel::UpdateRow(const platform::InterfaceRow& entry, double usage)
{
    const uint64_t total = Wrap(entry.inOctets + entry.outOctets);
    const uint64_t unicasts = Wrap(entry.inUcastPkts + entry.outUcastPkts);
    const uint64_t nonUnicasts = Wrap(entry.inNUcastPkts + entry.outNUcastPkts);
    const uint64_t discarded = Wrap(entry.inDiscards + entry.outDiscards);
    const uint64_t errors = Wrap(entry.inErrors + entry.outErrors);

    auto row = rows_.FindOrInsert(entry.index, [&](InterfaceRow& fresh) {
        fresh.index = entry.index;
        fresh.name = NameOf(entry);
        fresh.status = entry.operStatus;
        fresh.speed = entry.speed;
        fresh.bytesIn = entry.inOctets;
        fresh.bytesOut = entry.outOctets;
        fresh.bytesTotal = total;
        fresh.unicastsTotal = unicasts;
        fresh.nonUnicastsTotal = nonUnicasts;
        fresh.discardedTotal = discarded;
        fresh.errorsTotal = errors;
        // Known to the hidden path's computations already: its rate is known too.
        fresh.usage = usage;
    });
    if (!row) return;  // the list refused the row: it is tried again next time
    if (!row.isNew()) {
        row.Set(row->status, entry.operStatus, kNetStatus);
        row.Set(row->speed, entry.speed, kNetSpeed);
        row.Set(row->usage, usage, kNetUsage);
        row.Set(row->bytesOut, entry.outOctets, kNetBytesSent);
        row.Set(row->bytesIn, entry.inOctets, kNetBytesRecv);
        row.Set(row->bytesPerInterval, Wrap(total - row->bytesTotal), kNetBytesPerInterval);
        row.Set(row->bytesTotal, total, kNetBytes);
        row.Set(row->unicastsPerInterval, Wrap(unicasts - row->unicastsTotal), kNetUnicastsPerInterval);
        row.Set(row->unicastsTotal, unicasts, kNetUnicasts);
        row.Set(row->nonUnicastsPerInterval, Wrap(nonUnicasts - row->nonUnicastsTotal), kNetNonUnicastsPerInterval);
        row.Set(row->nonUnicastsTotal, nonUnicasts, kNetNonUnicasts);
        row.Set(row->discardedPerInterval, Wrap(discarded - row->discardedTotal), kNetDiscardedPerInterval);
        row.Set(row->discardedTotal, discarded, kNetDiscarded);
        row.Set(row->errorsPerInterval, Wrap(errors - row->errorsTotal), kNetErrorsPerInterval);
        row.Set(row->errorsTotal, errors, kNetErrors);
    }
    rows_.Commit(row);
}

// The table's name; for an interface without one, the adapter's friendly name from
// the current user's mappings, else the adapter name; empty when there is none.
std::wstring NetworkModel::NameOf(const platform::InterfaceRow& entry)
{
    std::wstring name = entry.name;
    if (name.empty()) {
        const std::wstring adapter = platform_.interfaces().GetAdapterName(entry.index);
        if (!adapter.empty()) {
            const std::optional<platform::RegValue> mapped =
                platform_.registry().QueryValue(platform::Hive::CurrentUser, kAdapterNameMappings, adapter);
            if (mapped && mapped->type == platform::ValueType::String)
                name = mapped->string.substr(0, kMappedNameLength);
            else
                name = adapter.substr(0, kAdapterNameLength);
        }
    }
    if (name.size() > kInterfaceNameLength) name.resize(kInterfaceNameLength);
    return name;
}

void NetworkModel::ReadSelection()
{
    const InterfaceRow* selected = rows_.Selected();
    selectedIndex_ = selected != nullptr ? selected->index : 0;
    selectedName_ = selected != nullptr ? selected->name : std::wstring();  // a copy: the row may go
}

std::wstring NetworkModel::HistoryTitle() const
{
    if (selectedOnly_ && selectedIndex_ != 0) return selectedName_.substr(0, kTitleNameLength) + L" LAN Usage History";
    return L"LAN Usage History";
}

std::optional<HistoryScale> NetworkModel::Rescale(double peak, bool autoScale)
{
    const double scale = HistoryFullScale(peak, autoScale);
    if (scale == fullScale_) return std::nullopt;
    fullScale_ = scale;
    return ScaleFor(scale);
}

HistoryScale NetworkModel::InitialScale(bool autoScale)
{
    fullScale_ = autoScale ? 1.0 : 100.0;
    return ScaleFor(fullScale_);
}

}  // namespace kestrun
