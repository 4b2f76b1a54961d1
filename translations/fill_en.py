#!/usr/bin/env python3
# Fills the English of translations/korvex_en.ts from the table below, keeping
# each source text's leading and trailing white space. Texts not in the table
# stay unfinished, and the translation test names them.
#   cmake --build build --target korvex_lupdate && translations/fill_en.py
import os
import re
import sys
import xml.etree.ElementTree as ET

EN = {
    '设置区域': 'Settings', '开启光源': 'Laser on', '关闭光源': 'Laser off',
    '重启设备': 'Restart', '清零帧数': 'Zero frames', '功率设置': 'Power',
    '温度阈值': 'Temp. limit', '保存': 'Save', '最大DAC': 'Max. DAC',
    '自动补偿时长': 'Compensation', '设备序列号': 'Serial no.', '激光型号': 'Laser model',
    '激光25W': 'Laser 25W', '激光30W': 'Laser 30W', '激光50W': 'Laser 50W',
    '数据显示': 'Readings', '固件版本': 'Firmware', '激光类型': 'Laser type',
    '设备发送帧数': 'Frames sent', '设备接收帧数': 'Frames received', '激光功率': 'Laser power',
    '激光电流': 'Laser current', '激光温度': 'Laser temp.', '温度2': 'Temp. 2',
    'MCU温度': 'MCU temp.', '环境温度': 'Ambient temp.', '风扇1转速': 'Fan 1 speed',
    '风扇2转速': 'Fan 2 speed', '风扇3转速': 'Fan 3 speed', 'TEC电流': 'TEC current',
    '温度保护阈值': 'Temp. limit', '运行时长': 'Run time', '系统状态': 'System state',
    '硬件接口': 'Port', '未连接': 'Not connected', '通讯状态': 'Link',
    '光源开关': 'Laser', '温度报警': 'Temp. alarm', '风扇1报警': 'Fan 1 alarm',
    '风扇2报警': 'Fan 2 alarm', '风扇3报警': 'Fan 3 alarm', '通讯设置': 'Connection',
    '其它功能': 'Tools', '帮助': 'Help', '串口设置': 'Serial port...', 'Pid调试': 'PID tuning',
    '调试TEC': 'TEC test', '风扇调试': 'Fan test', '升级设备': 'Update firmware',
    '工厂模式': 'Factory mode', '趋势图': 'Trend', '关于': 'About', '通知': 'Notice',
    '继续操作会断开当前连接，确定？': 'This closes the current connection. Continue?',
    '打开成功': ' opened', '连接断开': 'Disconnected', '打开失败': ' could not be opened',
    '关闭成功': ' closed', '连接未知': 'Connection unknown', '关闭失败': ' could not be closed',
    '设备丢失，串口已关闭': ' lost: device gone, port closed',
    '设备序列号为空，设置失败': 'Serial number empty: not set',
    '串口选择': 'Port', '波特率': 'Baud rate', '停止位': 'Stop bits', '奇偶校验位': 'Parity',
    '无': 'None', '奇校验': 'Odd', '偶校验': 'Even', '检测可用串口': 'Find ports',
    '确定': 'OK', '取消': 'Cancel', '警告': 'Warning', '串口名称不能为空': 'Choose a port first',
    '输入密码': 'Password', '密码': 'Password', '确认': 'OK',
    '语言 / Language': '语言 / Language', '重新启动后使用所选语言。': 'The chosen language is used from the next start.',
    'PID调节': 'PID tuning', '最大温差': 'Max. temp. spread', 'PWM 最大差值': 'Max. PWM spread',
    '设置PID': 'Set PID', '重置最大温差': 'Reset spreads', '不是数字，未发送': 'Not a number: not sent',
    '%1 不是数字，未发送': '%1 is not a number: not sent', '温度': 'Temperature', '重置': 'Reset',
    'TEC 调试': 'TEC test', '打开TEC': 'TEC on', '关闭TEC': 'TEC off', '开TEC自控': 'TEC auto on',
    '关闭TEC自控': 'TEC auto off', 'TEC功率': 'TEC power', '未在记录': 'Not recording',
    '时间范围': 'Span', '1 分钟': '1 min', '10 分钟': '10 min', '1 小时': '1 h', '全部': 'All',
    '暂停': 'Pause', '开始记录': 'Record', '停止记录': 'Stop recording', '未记录': 'Not recording',
    '温度 ℃': 'Temp. ℃', '温度告警': 'Temp. alarm', '电流 A': 'Current A',
    '转速 rpm': 'Speed rpm', '风扇告警': 'Fan alarm', '风扇1': 'Fan 1', '风扇2': 'Fan 2',
    '风扇3': 'Fan 3', '鼠标移到图上，这里显示该时刻的数值': 'Point at a chart to read its values here',
    '继续': 'Resume', '记录到 CSV 文件': 'Record to CSV file', 'CSV 文件 (*.csv)': 'CSV files (*.csv)',
    '记录已停止：无法写入 %1（%2）': 'Recording stopped: cannot write %1 (%2)',
    '● 正在记录 %1：%2 行': '● Recording %1: %2 rows', '记录已结束 %1：%2 行': 'Recording ended %1: %2 rows',
    '设备升级': 'Firmware update', '串口配置': 'Serial port', '端口：': 'Port:', '波特率：': 'Baud rate:',
    '打开': 'Open', '文件发送': 'Send file', '文件路径：': 'File:', '浏览...': 'Browse...',
    '发送': 'Send', '传输进度：': 'Progress:', '文件接收': 'Receive file', '接收': 'Receive',
    '关闭': 'Close', '串口打开失败': 'Port not opened', '请检查串口是否已被占用！': 'Is the port in use by another program?',
    '关闭串口': 'Close port', '打开串口': 'Open port', '打开文件': 'Open file', '任意文件 (*.*)': 'All files (*.*)',
    '选择目录': 'Choose folder', '失败': 'Failed', '文件发送失败！': 'Sending the file failed!',
    '文件接收失败！': 'Receiving the file failed!', '成功': 'succeeded', '文件发送成功！': 'File sent.',
    '文件接收成功！': 'File received.', '失败，串口未打开': 'failed: port not open',
    '失败，总线忙': 'failed: line busy', '失败，CRC校验出错': 'failed: CRC error',
    '失败，设备处理命令返回错误': 'failed: the device refused the command',
    '失败，总线数据丢失': 'failed: reply lost', '失败，原因未知': 'failed: unknown reason',
    '软件重启': 'Restart', '设置激光功率': 'Set laser power', '设置温度保护阈值': 'Set temperature limit',
    '设置收发帧数': 'Set frame counts', '设置序列号': 'Set serial number',
    '设置最大DAC并保存': 'Set and save max. DAC', '仅设置最大DAC（不保存)': 'Set max. DAC (not saved)',
    '设置自动补偿时长': 'Set compensation time', '开启TEC': 'TEC on', '设置TEC功率': 'Set TEC power',
    '开启自动控制TEC': 'TEC auto on', '关闭自动控制TEC': 'TEC auto off', '设置风扇调试命令': 'Fan test command',
    '保存激光类型命令': 'Save laser type', '设置PID系数': 'Set PID', '设置未知命令': 'Unknown command',
    '开风扇自控': 'Fan auto on', '关闭风扇自控': 'Fan auto off', '风扇PWM': 'Fan PWM',
    '设备序列号选择': 'Serial number', '出厂日期': 'Made on', '获取当前日期': 'Today',
    '当日序列号': 'Day no.',
    '保存日志…': 'Save log…', '清空日志': 'Clear log', '日志文件 (*.log *.txt)': 'Log files (*.log *.txt)',
    '无法保存日志 %1：%2': 'Cannot save the log to %1: %2',
    'Korvex %1\n激光光源的维护与工厂工具\n\n说明文件：%2\n手册：man korvex':
        'Korvex %1\nService and factory tool for the laser light source\n\nREADME: %2\nManual: man korvex',
    # The main window's log joins a command's name and its result.
    'DeviceLink:成功': ' succeeded', 'UpdateWidget:成功': 'Success', 'DeviceLink:失败，串口未打开': ' failed: port not open',
    'DeviceLink:失败，总线忙': ' failed: line busy', 'DeviceLink:失败，CRC校验出错': ' failed: CRC error',
    'DeviceLink:失败，设备处理命令返回错误': ' failed: the device refused the command',
    'DeviceLink:失败，总线数据丢失': ' failed: reply lost',
    'DeviceLink:失败，数值不在允许范围内，未发送': ' failed: value out of range, not sent', 'DeviceLink:失败，原因未知': ' failed: unknown reason',
    '断线自动重连': 'Reconnect automatically',
    '设备丢失后自动等待同一串口重新出现并重新打开': 'When the device is lost, wait for the same port to come back and reopen it',
    '设备已恢复，串口已重新打开': ' back: port reopened', '设备丢失，串口已关闭，等待重新连接': ' lost: port closed, waiting for it',
    '等待重连：': 'Waiting: ', '（设备未连接，记录丢失行）': '(device away, lost rows recorded)',
    '密码错误': 'Wrong password', '，': ', ', '为空，未发送': 'Empty: not sent', '%1 为空': '%1 empty',
    '%1 不是数字': '%1 not a number', '%1，未发送': '%1: not sent', '经过时间 (秒)': 'Elapsed time (s)',
    '温度 (℃)': 'Temperature (℃)',
    '激光功率 %1–%2（1000 = 满功率），回车发送': 'Laser power %1–%2 (1000 = full power); Enter sends',
    '温度保护阈值 %1–%2 ℃': 'Temperature limit %1–%2 ℃', '最大DAC %1–%2（DAC计数）': 'Maximum DAC %1–%2 (DAC counts)',
    '自动补偿时长 %1–%2 小时': 'Compensation time %1–%2 hours', '退出工厂模式': 'Leave factory mode',
    '设备无应答（连续%1次通讯失败）': ': device not answering (%1 failed exchanges in a row)',
    '设备恢复应答': ': device answering again', '设备现在的固件版本：%1': 'Firmware the device now reports: %1',
    '%1：输入超出范围，显示的值 %2 是截断后的，未发送': '%1: input out of range, the value shown (%2) was cut: not sent',
    '确认温度阈值': 'Confirm temperature limit',
    '新的温度保护阈值 %1 ℃ 低于激光当前温度 %2 ℃，保存后温度保护会立即动作。\n仍要保存？':
        'The new temperature limit %1 ℃ is below the laser\'s temperature now, %2 ℃: the protection trips as soon as it is saved.\nSave anyway?',
    'Korvex [工厂模式]': 'Korvex [factory mode]', '已退出工厂模式': 'Factory mode left',
    '超出范围 %1：多余的输入未被接受，此值不会发送': 'Out of range %1: the last key was not taken; this value is not sent',
    '端口名或路径': 'Port name or path', '可直接输入端口名，如 /dev/serial/by-id/…': 'Any port name can be typed, e.g. /dev/serial/by-id/…',
    '刷新': 'Refresh', '重新列出系统中的串口': 'List the system\'s serial ports again',
    '重新连接设备': 'Reconnect device',
    '关闭本窗口的串口，由主窗口重新打开设备串口并读取固件版本': 'Close this window\'s port; the main window reopens the device port and reads the firmware version',
    '文件发送完成：%1，%2 字节，用时 %3 秒': 'File sent: %1, %2 bytes in %3 s',
    '文件接收完成：%1，%2 字节，用时 %3 秒': 'File received: %1, %2 bytes in %3 s', '原因不明': 'reason unknown',
    '文件发送失败：%1，已传 %2 字节，用时 %3 秒，原因：%4': 'Sending failed: %1, %2 bytes in %3 s, reason: %4',
    '文件接收失败：%1，已传 %2 字节，用时 %3 秒，原因：%4': 'Receiving failed: %1, %2 bytes in %3 s, reason: %4',
    '（拖动中发送 %1 次，失败 %2 次）': ' (drag: %1 sent, %2 failed)', '开': 'On', '关': 'Off', '正常': 'OK',
    '中断': 'Down', '报警': 'Alarm', '显示时间': 'Show times', '只读：由滑块设置（DAC计数）': 'Read-only: set by the slider (DAC counts)',
    '未发送': 'not sent yet', '自动控制': 'automatic', '手动驱动': 'manual drive',
    '上次发送：TEC %1，%2\n驱动 %3 / %4（%5%）\n设备报告 TEC电流：%6': 'Last sent: TEC %1, %2\nDrive %3 / %4 (%5%)\nTEC current reported: %6',
    '上次发送：%1，PWM %2\n设备报告 风扇1/2/3转速：%3': 'Last sent: %1, PWM %2\nFan 1/2/3 speeds reported: %3',
    '风扇自动控制': 'fans automatic', '风扇手动驱动': 'fans on manual drive',
    '%1 / %2（%3%）': '%1 / %2 (%3%)', '只读：由滑块设置（PWM）': 'Read-only: set by the slider (PWM)',
    '每行一个样本：温度（0.1 ℃），PWM，KP，KI，KD': 'One sample a line: temperature (0.1 ℃), PWM, KP, KI, KD',
    '%1 秒内没有收到PID样本：串口未打开或设备没有应答': 'No PID sample for %1 s: the port is not open or the unit does not answer',
    # The event list and the service report.
    '事件记录': 'Event log', '导出服务报告…': 'Export service report...', '导出服务报告': 'Export service report',
    '服务报告已导出：%1': 'Service report written: %1', '无法导出服务报告 %1：%2': 'Cannot write the service report %1: %2',
    '报警中': 'alarm on', '已恢复': 'cleared', '设备恢复应答': 'answering again', '设备无应答': 'Unit not answering',
    '连续 %1 次无应答': '%1 requests in a row unanswered', '已重新连接': 'reconnected', '已打开': 'reopened',
    '串口重新打开': 'Port reopened', '连接已关闭': 'link closed', '连接丢失': 'Link lost',
    '进入工厂模式': 'Factory mode entered', '离开工厂模式': 'Factory mode left', '发送固件': 'Firmware sent',
    '接收文件': 'File received', '：': ': ', '报警': 'Alarm', '连接': 'Link', '无应答': 'No answer',
    '命令': 'Command', '固件': 'Firmware', '进行中': 'going on', '%1 秒': '%1 s', '%1 分 %2 秒': '%1 min %2 s',
    '%1 小时 %2 分': '%1 h %2 min', '时间': 'Time', '类型': 'Kind', '事件': 'Event', '数值': 'Value',
    '结果': 'Outcome', '结束': 'End', '时长': 'Duration', '保存为 CSV…': 'Save as CSV...', '清空': 'Clear',
    '已保存 %1': 'Saved %1', '无法保存事件 %1：%2': 'Cannot save the events to %1: %2', '未读到': 'not read',
    '技术员': 'Technician', '备注': 'Notes', '纸张': 'Paper', '本次连接全部': 'Whole session',
    '最近 1 小时': 'Last hour', '浏览…': 'Browse...', '文件': 'File', '导出': 'Export',
    'PDF 文件 (*.pdf)': 'PDF files (*.pdf)', 'Korvex 服务报告': 'Korvex service report',
    'Korvex %1 · 服务报告 · %2': 'Korvex %1 · service report · %2', '服务报告': 'Service report',
    '设备 %1 · %2 · 技术员 %3': 'Unit %1 · %2 · technician %3', '设备': 'Unit',
    '导出时的状态': 'Status at export', '设置（读自设备）': 'Settings (as read from the unit)', '趋势': 'Trend',
    '本次连接的事件与报警': 'Events and alarms of the session', '没有事件。': 'No events.',
    '技术员与备注': 'Technician and notes', '日期': 'Date', 'Korvex 版本': 'Korvex version',
    '导出图片…': 'Export picture...', '导出 CSV…': 'Export CSV...', '回到实时': 'Back to live',
    '滚轮缩放，拖动平移，按住 Shift 拖动选择时段': 'Wheel to zoom, drag to pan, Shift and drag to pick a span',
    'PNG 图片 (*.png)': 'PNG pictures (*.png)', '已导出 %1': 'Exported %1', '无法导出 %1：%2': 'Cannot export %1: %2',
    '（无备注）': '(no notes)',
}

# Texts that read the same in English: numbers, units, names, and the
# transfer layer's messages, which are English at their source.
def same(text):
    return not re.search(r'[\u3000-\u9fff\uff00-\uffef]', text)

# lupdate writes a carriage return as <byte value="xd"/>.
def full_text(element):
    text = element.text or ''
    for child in element:
        text += chr(int(child.get('value').lstrip('x'), 16)) + (child.tail or '')
    return text

def set_text(element, text):
    for child in list(element):
        element.remove(child)
    parts = text.split('\r')
    element.text = parts[0]
    for part in parts[1:]:
        byte = ET.SubElement(element, 'byte', value='xd')
        byte.tail = part

def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'korvex_en.ts')
    tree = ET.parse(path)
    missing = []
    for context in tree.iter('context'):
      name = context.find('name').text
      for message in context.iter('message'):
        source = full_text(message.find('source'))
        translation = message.find('translation')
        core = source.strip()
        lead = source[:len(source) - len(source.lstrip())]
        trail = source[len(source.rstrip()):]
        if name + ':' + core in EN:
            english = EN[name + ':' + core]
        elif core in EN:
            english = EN[core]
        elif same(core):
            english = core
        else:
            missing.append(source)
            continue
        set_text(translation, (lead if not english.startswith(' ') else '') + english + trail)
        translation.attrib.pop('type', None)
    tree.write(path, encoding='utf-8', xml_declaration=True)
    with open(path, encoding='utf-8') as f:
        text = f.read()
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text.replace("<?xml version='1.0' encoding='utf-8'?>", '<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>', 1))
    for source in missing:
        print('untranslated:', repr(source))
    return 1 if missing else 0

if __name__ == '__main__':
    sys.exit(main())
