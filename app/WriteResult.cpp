#include "WriteResult.h"

#include "StatusDecoder.h"

#include <QCoreApplication>

namespace WriteResult {

namespace {
// The log texts of write results, in their own translation context.
QString tr(const char *text)
{
    return QCoreApplication::translate("WriteResult", text);
}
} // namespace

using StatusDecoder::be16;
using StatusDecoder::be32;

QString resultText(quint8 result)
{
    switch (result) {
    case 0: return tr("成功");
    case 1: return tr("失败，串口未打开");
    case 2: return tr("失败，总线忙");
    case 3: return tr("失败，CRC校验出错");
    case 4: return tr("失败，设备处理命令返回错误");
    case 255: return tr("失败，总线数据丢失");
    default: return tr("失败，原因未知");
    }
}

QString commandName(const QByteArray &f)
{
    const bool switchOn = f.size() > 3 && quint8(f.at(3)) == 1;
    switch (StatusDecoder::commandWord(f)) {
    case 0x0001: return tr("软件重启");
    case 0x0011: return switchOn ? tr("开启光源") : tr("关闭光源");
    case 0x0012: return tr("设置激光功率");
    case 0x0013: return tr("设置温度保护阈值");
    case 0x0014: return tr("设置收发帧数");
    case 0x0015: return tr("设置序列号");
    case 0x00A1: return tr("设置最大DAC并保存");
    case 0x00A2: return tr("仅设置最大DAC（不保存)");
    case 0x00A3: return tr("设置自动补偿时长");
    case 0x00A4: return switchOn ? tr("开启TEC") : tr("关闭TEC");
    case 0x00A5: return tr("设置TEC功率");
    case 0x00A6: return switchOn ? tr("开启自动控制TEC") : tr("关闭自动控制TEC");
    case 0x00A7: return tr("设置风扇调试命令");
    case 0x00A8: return tr("保存激光类型命令");
    case 0xA010: return tr("设置PID系数");
    default: return tr("设置未知命令");
    }
}

QString logMessage(quint8 result, const QByteArray &sentFrame)
{
    return commandName(sentFrame) + resultText(result) + QLatin1Char('\n');
}

bool applyWriteEcho(DevStatusCache &c, const QByteArray &f)
{
    // Data bytes the echo reads, plus header and CRC, must all be there.
    auto has = [&f](int dataBytes) { return f.size() >= 3 + dataBytes + 2; };
    switch (StatusDecoder::commandWord(f)) {
    case 0x0012:
        if (!has(2)) return false;
        c.powerPercent = be16(f, 3);
        c.reportedFields |= DevField::PowerPercent;
        return true;
    case 0x0013:
        if (!has(2)) return false;
        c.tempThreshold = qint16(be16(f, 3));
        c.reportedFields |= DevField::TempThreshold;
        return true;
    case 0x0014:
        if (!has(8)) return false;
        c.devRxFrames = be32(f, 3);
        c.devTxFrames = be32(f, 7);
        c.reportedFields |= DevField::RxFrames | DevField::TxFrames;
        return true;
    case 0x0015:
        if (!has(8)) return false;
        c.serialNum = f.mid(3, 8);
        c.reportedFields |= DevField::SerialNum;
        return true;
    case 0x00A1:
    case 0x00A2:
        if (!has(2)) return false;
        c.maxDac = be16(f, 3);
        c.reportedFields |= DevField::MaxDac;
        return true;
    case 0x00A3:
        if (!has(4)) return false;
        c.compensationHours = be32(f, 3);
        c.reportedFields |= DevField::Compensation;
        return true;
    default:
        return false;
    }
}

} // namespace WriteResult
