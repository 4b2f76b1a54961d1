<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>AdminWd</name>
    <message>
        <source>Korvex</source>
        <translation>Korvex</translation>
    </message>
    <message>
        <source>设置区域</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>开启光源</source>
        <translation>Laser on</translation>
    </message>
    <message>
        <source> 关闭光源</source>
        <translation> Laser off</translation>
    </message>
    <message>
        <source>重启设备</source>
        <translation>Restart</translation>
    </message>
    <message>
        <source>清零帧数</source>
        <translation>Zero frames</translation>
    </message>
    <message>
        <source>功率设置</source>
        <translation>Power</translation>
    </message>
    <message>
        <source>温度阈值</source>
        <translation>Temp. limit</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>最大DAC</source>
        <translation>Max. DAC</translation>
    </message>
    <message>
        <source>DAC+</source>
        <translation>DAC+</translation>
    </message>
    <message>
        <source>DAC-</source>
        <translation>DAC-</translation>
    </message>
    <message>
        <source>自动补偿时长</source>
        <translation>Compensation</translation>
    </message>
    <message>
        <source>设备序列号</source>
        <translation>Serial no.</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>激光型号</source>
        <translation>Laser model</translation>
    </message>
    <message>
        <source>激光25W</source>
        <translation>Laser 25W</translation>
    </message>
    <message>
        <source>激光30W</source>
        <translation>Laser 30W</translation>
    </message>
    <message>
        <source>激光50W</source>
        <translation>Laser 50W</translation>
    </message>
    <message>
        <source> 数据显示</source>
        <translation> Readings</translation>
    </message>
    <message>
        <source>固件版本</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>激光类型</source>
        <translation>Laser type</translation>
    </message>
    <message>
        <source>设备发送帧数</source>
        <translation>Frames sent</translation>
    </message>
    <message>
        <source>设备接收帧数</source>
        <translation>Frames received</translation>
    </message>
    <message>
        <source>激光功率</source>
        <translation>Laser power</translation>
    </message>
    <message>
        <source>激光电流</source>
        <translation>Laser current</translation>
    </message>
    <message>
        <source>激光温度</source>
        <translation>Laser temp.</translation>
    </message>
    <message>
        <source>温度2</source>
        <translation>Temp. 2</translation>
    </message>
    <message>
        <source>MCU温度</source>
        <translation>MCU temp.</translation>
    </message>
    <message>
        <source>环境温度</source>
        <translation>Ambient temp.</translation>
    </message>
    <message>
        <source>风扇1转速</source>
        <translation>Fan 1 speed</translation>
    </message>
    <message>
        <source>风扇2转速</source>
        <translation>Fan 2 speed</translation>
    </message>
    <message>
        <source>风扇3转速</source>
        <translation>Fan 3 speed</translation>
    </message>
    <message>
        <source>TEC电流</source>
        <translation>TEC current</translation>
    </message>
    <message>
        <source>温度保护阈值</source>
        <translation>Temp. limit</translation>
    </message>
    <message>
        <source>运行时长</source>
        <translation>Run time</translation>
    </message>
    <message>
        <source>系统状态</source>
        <translation>System state</translation>
    </message>
    <message>
        <source>硬件接口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source> 通讯状态</source>
        <translation> Link</translation>
    </message>
    <message>
        <source>光源开关</source>
        <translation>Laser</translation>
    </message>
    <message>
        <source>温度报警</source>
        <translation>Temp. alarm</translation>
    </message>
    <message>
        <source>风扇1报警</source>
        <translation>Fan 1 alarm</translation>
    </message>
    <message>
        <source>风扇2报警</source>
        <translation>Fan 2 alarm</translation>
    </message>
    <message>
        <source>风扇3报警</source>
        <translation>Fan 3 alarm</translation>
    </message>
    <message>
        <source>通讯设置</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>其它功能</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>串口设置</source>
        <translation>Serial port...</translation>
    </message>
    <message>
        <source>Pid调试</source>
        <translation>PID tuning</translation>
    </message>
    <message>
        <source>调试TEC</source>
        <translation>TEC test</translation>
    </message>
    <message>
        <source>风扇调试</source>
        <translation>Fan test</translation>
    </message>
    <message>
        <source>升级设备</source>
        <translation>Update firmware</translation>
    </message>
    <message>
        <source>工厂模式</source>
        <translation>Factory mode</translation>
    </message>
    <message>
        <source>趋势图</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>通知</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>继续操作会断开当前连接，确定？</source>
        <translation>This closes the current connection. Continue?</translation>
    </message>
    <message>
        <source>打开成功<byte value="xd"/>
</source>
        <translation> opened<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>连接断开</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>打开失败<byte value="xd"/>
</source>
        <translation> could not be opened<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>关闭成功<byte value="xd"/>
</source>
        <translation> closed<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>连接未知</source>
        <translation>Connection unknown</translation>
    </message>
    <message>
        <source>关闭失败<byte value="xd"/>
</source>
        <translation> could not be closed<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>设备丢失，串口已关闭<byte value="xd"/>
</source>
        <translation> lost: device gone, port closed<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>设备序列号为空，设置失败
</source>
        <translation>Serial number empty: not set
</translation>
    </message>
    <message>
        <source>Korvex %1
激光光源的维护与工厂工具

说明文件：%2
手册：man korvex</source>
        <translation>Korvex %1
Service and factory tool for the laser light source

README: %2
Manual: man korvex</translation>
    </message>
    <message>
        <source>断线自动重连</source>
        <translation>Reconnect automatically</translation>
    </message>
    <message>
        <source>设备丢失后自动等待同一串口重新出现并重新打开</source>
        <translation>When the device is lost, wait for the same port to come back and reopen it</translation>
    </message>
    <message>
        <source>设备已恢复，串口已重新打开<byte value="xd"/>
</source>
        <translation> back: port reopened<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>设备丢失，串口已关闭，等待重新连接<byte value="xd"/>
</source>
        <translation> lost: port closed, waiting for it<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>等待重连：</source>
        <translation>Waiting: </translation>
    </message>
    <message>
        <source>事件记录</source>
        <translation>Event log</translation>
    </message>
    <message>
        <source>导出服务报告…</source>
        <translation>Export service report...</translation>
    </message>
    <message>
        <source>服务报告已导出：%1
</source>
        <translation>Service report written: %1
</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>无法导出服务报告 %1：%2</source>
        <translation>Cannot write the service report %1: %2</translation>
    </message>
    <message>
        <source>激光功率 %1–%2（1000 = 满功率），回车发送</source>
        <translation>Laser power %1–%2 (1000 = full power); Enter sends</translation>
    </message>
    <message>
        <source>温度保护阈值 %1–%2 ℃</source>
        <translation>Temperature limit %1–%2 ℃</translation>
    </message>
    <message>
        <source>最大DAC %1–%2（DAC计数）</source>
        <translation>Maximum DAC %1–%2 (DAC counts)</translation>
    </message>
    <message>
        <source>自动补偿时长 %1–%2 小时</source>
        <translation>Compensation time %1–%2 hours</translation>
    </message>
    <message>
        <source>退出工厂模式</source>
        <translation>Leave factory mode</translation>
    </message>
    <message>
        <source>设备无应答（连续%1次通讯失败）<byte value="xd"/>
</source>
        <translation>: device not answering (%1 failed exchanges in a row)<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>设备恢复应答<byte value="xd"/>
</source>
        <translation>answering again<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>设备现在的固件版本：%1<byte value="xd"/>
</source>
        <translation>Firmware the device now reports: %1<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>%1：输入超出范围，显示的值 %2 是截断后的，未发送<byte value="xd"/>
</source>
        <translation>%1: input out of range, the value shown (%2) was cut: not sent<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>确认温度阈值</source>
        <translation>Confirm temperature limit</translation>
    </message>
    <message>
        <source>新的温度保护阈值 %1 ℃ 低于激光当前温度 %2 ℃，保存后温度保护会立即动作。
仍要保存？</source>
        <translation>The new temperature limit %1 ℃ is below the laser&apos;s temperature now, %2 ℃: the protection trips as soon as it is saved.
Save anyway?</translation>
    </message>
    <message>
        <source>（拖动中发送 %1 次，失败 %2 次）</source>
        <translation> (drag: %1 sent, %2 failed)</translation>
    </message>
    <message>
        <source>Korvex [工厂模式]</source>
        <translation>Korvex [factory mode]</translation>
    </message>
    <message>
        <source>已退出工厂模式<byte value="xd"/>
</source>
        <translation>Factory mode left<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>开</source>
        <translation>On</translation>
    </message>
    <message>
        <source>关</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>中断</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>报警</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>生产测试</source>
        <translation>Production test</translation>
    </message>
</context>
<context>
    <name>CertificateWriter</name>
    <message>
        <source>合格</source>
        <translation>Passed</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>错误（设备或线路无应答）</source>
        <translation>Error (the unit or the line did not answer)</translation>
    </message>
    <message>
        <source>已中止</source>
        <translation>Aborted</translation>
    </message>
    <message>
        <source>未执行</source>
        <translation>Not run</translation>
    </message>
    <message>
        <source>（仅记录）</source>
        <translation>(recorded only)</translation>
    </message>
    <message>
        <source>（临界带 %1）</source>
        <translation> (marginal band %1)</translation>
    </message>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
    <message>
        <source>Korvex 测试证书</source>
        <translation>Korvex test certificate</translation>
    </message>
    <message>
        <source>Korvex %1 · 测试证书 · %2 · %3</source>
        <translation>Korvex %1 · Test certificate · %2 · %3</translation>
    </message>
    <message>
        <source>测试证书</source>
        <translation>Test certificate</translation>
    </message>
    <message>
        <source>设备 %1 · 计划 %2 · %3</source>
        <translation>Unit %1 · plan %2 · %3</translation>
    </message>
    <message>
        <source>结论</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>原因</source>
        <translation>Reason</translation>
    </message>
    <message>
        <source>未通过的步骤</source>
        <translation>Failed step</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>激光器类型</source>
        <translation>Laser type</translation>
    </message>
    <message>
        <source>测试前固件</source>
        <translation>Firmware before</translation>
    </message>
    <message>
        <source>测试后固件</source>
        <translation>Firmware after</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>测试计划</source>
        <translation>Test plan</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>SHA-256</source>
        <translation>SHA-256</translation>
    </message>
    <message>
        <source>步骤与测量</source>
        <translation>Steps and measurements</translation>
    </message>
    <message>
        <source>步骤</source>
        <translation>Step</translation>
    </message>
    <message>
        <source>测量</source>
        <translation>Measurement</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>限值</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Outcome</translation>
    </message>
    <message>
        <source>测试期间的温度、电流与风扇</source>
        <translation>Temperatures, currents and fans during the test</translation>
    </message>
    <message>
        <source>结束状态</source>
        <translation>End state</translation>
    </message>
    <message>
        <source>激光器关闭</source>
        <translation>Laser off</translation>
    </message>
    <message>
        <source>状态读取确认</source>
        <translation>Confirmed by a status read</translation>
    </message>
    <message>
        <source>TEC</source>
        <translation>TEC</translation>
    </message>
    <message>
        <source>风扇</source>
        <translation>Fans</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>测试站</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>操作员</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>结束</source>
        <translation>End</translation>
    </message>
    <message>
        <source>时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>Korvex 版本</source>
        <translation>Korvex version</translation>
    </message>
    <message>
        <source>临界</source>
        <translation>Marginal</translation>
    </message>
</context>
<context>
    <name>CommSet</name>
    <message>
        <source>串口设置</source>
        <translation>Serial port...</translation>
    </message>
    <message>
        <source>串口选择 </source>
        <translation>Port </translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>停止位</source>
        <translation>Stop bits</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>1.5</source>
        <translation>1.5</translation>
    </message>
    <message>
        <source>2</source>
        <translation>2</translation>
    </message>
    <message>
        <source>奇偶校验位</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>奇校验</source>
        <translation>Odd</translation>
    </message>
    <message>
        <source>偶校验</source>
        <translation>Even</translation>
    </message>
    <message>
        <source>检测可用串口</source>
        <translation>Find ports</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>串口名称不能为空</source>
        <translation>Choose a port first</translation>
    </message>
</context>
<context>
    <name>DeviceLink</name>
    <message>
        <source>软件重启</source>
        <translation>Restart</translation>
    </message>
    <message>
        <source>开启光源</source>
        <translation>Laser on</translation>
    </message>
    <message>
        <source>关闭光源</source>
        <translation>Laser off</translation>
    </message>
    <message>
        <source>设置激光功率</source>
        <translation>Set laser power</translation>
    </message>
    <message>
        <source>设置温度保护阈值</source>
        <translation>Set temperature limit</translation>
    </message>
    <message>
        <source>设置收发帧数</source>
        <translation>Set frame counts</translation>
    </message>
    <message>
        <source>设置序列号</source>
        <translation>Set serial number</translation>
    </message>
    <message>
        <source>设置最大DAC并保存</source>
        <translation>Set and save max. DAC</translation>
    </message>
    <message>
        <source>仅设置最大DAC（不保存)</source>
        <translation>Set max. DAC (not saved)</translation>
    </message>
    <message>
        <source>设置自动补偿时长</source>
        <translation>Set compensation time</translation>
    </message>
    <message>
        <source>开启TEC</source>
        <translation>TEC on</translation>
    </message>
    <message>
        <source>关闭TEC</source>
        <translation>TEC off</translation>
    </message>
    <message>
        <source>设置TEC功率</source>
        <translation>Set TEC power</translation>
    </message>
    <message>
        <source>开启自动控制TEC</source>
        <translation>TEC auto on</translation>
    </message>
    <message>
        <source>关闭自动控制TEC</source>
        <translation>TEC auto off</translation>
    </message>
    <message>
        <source>设置风扇调试命令</source>
        <translation>Fan test command</translation>
    </message>
    <message>
        <source>保存激光类型命令</source>
        <translation>Save laser type</translation>
    </message>
    <message>
        <source>设置PID系数</source>
        <translation>Set PID</translation>
    </message>
    <message>
        <source>成功</source>
        <translation> succeeded</translation>
    </message>
    <message>
        <source>失败，串口未打开</source>
        <translation> failed: port not open</translation>
    </message>
    <message>
        <source>失败，总线忙</source>
        <translation> failed: line busy</translation>
    </message>
    <message>
        <source>失败，CRC校验出错</source>
        <translation> failed: CRC error</translation>
    </message>
    <message>
        <source>失败，设备处理命令返回错误</source>
        <translation> failed: the device refused the command</translation>
    </message>
    <message>
        <source>失败，总线数据丢失</source>
        <translation> failed: reply lost</translation>
    </message>
    <message>
        <source>失败，原因未知</source>
        <translation> failed: unknown reason</translation>
    </message>
    <message>
        <source>设置未知命令</source>
        <translation>Unknown command</translation>
    </message>
    <message>
        <source>失败，数值不在允许范围内，未发送</source>
        <translation> failed: value out of range, not sent</translation>
    </message>
</context>
<context>
    <name>DialogPasswordWd</name>
    <message>
        <source>输入密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>密码错误</source>
        <translation>Wrong password</translation>
    </message>
</context>
<context>
    <name>EventLog</name>
    <message>
        <source>温度报警</source>
        <translation>Temp. alarm</translation>
    </message>
    <message>
        <source>风扇1报警</source>
        <translation>Fan 1 alarm</translation>
    </message>
    <message>
        <source>风扇2报警</source>
        <translation>Fan 2 alarm</translation>
    </message>
    <message>
        <source>风扇3报警</source>
        <translation>Fan 3 alarm</translation>
    </message>
    <message>
        <source>报警中</source>
        <translation>alarm on</translation>
    </message>
    <message>
        <source>已恢复</source>
        <translation>cleared</translation>
    </message>
    <message>
        <source>设备恢复应答</source>
        <translation>answering again</translation>
    </message>
    <message>
        <source>设备无应答</source>
        <translation>Unit not answering</translation>
    </message>
    <message>
        <source>连续 %1 次无应答</source>
        <translation>%1 requests in a row unanswered</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open port</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>已重新连接</source>
        <translation>reconnected</translation>
    </message>
    <message>
        <source>已打开</source>
        <translation>reopened</translation>
    </message>
    <message>
        <source>串口重新打开</source>
        <translation>Port reopened</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>succeeded</translation>
    </message>
    <message>
        <source>连接已关闭</source>
        <translation>link closed</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close port</translation>
    </message>
    <message>
        <source>连接丢失</source>
        <translation>Link lost</translation>
    </message>
    <message>
        <source>进入工厂模式</source>
        <translation>Factory mode entered</translation>
    </message>
    <message>
        <source>离开工厂模式</source>
        <translation>Factory mode left</translation>
    </message>
    <message>
        <source>发送固件</source>
        <translation>Firmware sent</translation>
    </message>
    <message>
        <source>接收文件</source>
        <translation>File received</translation>
    </message>
    <message>
        <source>：</source>
        <translation>: </translation>
    </message>
    <message>
        <source>报警</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No answer</translation>
    </message>
    <message>
        <source>命令</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>工厂模式</source>
        <translation>Factory mode</translation>
    </message>
    <message>
        <source>固件</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>进行中</source>
        <translation>going on</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分 %2 秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 小时 %2 分</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>事件</source>
        <translation>Event</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Outcome</translation>
    </message>
    <message>
        <source>结束</source>
        <translation>End</translation>
    </message>
    <message>
        <source>时长</source>
        <translation>Duration</translation>
    </message>
</context>
<context>
    <name>EventWd</name>
    <message>
        <source>事件记录</source>
        <translation>Event log</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>保存为 CSV…</source>
        <translation>Save as CSV...</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>已保存 %1</source>
        <translation>Saved %1</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>无法保存事件 %1：%2</source>
        <translation>Cannot save the events to %1: %2</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
</context>
<context>
    <name>InputCutGuard</name>
    <message>
        <source>超出范围 %1：多余的输入未被接受，此值不会发送</source>
        <translation>Out of range %1: the last key was not taken; this value is not sent</translation>
    </message>
</context>
<context>
    <name>Language</name>
    <message>
        <source>语言 / Language</source>
        <translation>语言 / Language</translation>
    </message>
    <message>
        <source>重新启动后使用所选语言。</source>
        <translation>The chosen language is used from the next start.</translation>
    </message>
</context>
<context>
    <name>LogPane</name>
    <message>
        <source>保存日志…</source>
        <translation>Save log…</translation>
    </message>
    <message>
        <source>清空日志</source>
        <translation>Clear log</translation>
    </message>
    <message>
        <source>日志文件 (*.log *.txt)</source>
        <translation>Log files (*.log *.txt)</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>无法保存日志 %1：%2</source>
        <translation>Cannot save the log to %1: %2</translation>
    </message>
    <message>
        <source>显示时间</source>
        <translation>Show times</translation>
    </message>
</context>
<context>
    <name>PidAdjust</name>
    <message>
        <source>PID调节</source>
        <translation>PID tuning</translation>
    </message>
    <message>
        <source>KP</source>
        <translation>KP</translation>
    </message>
    <message>
        <source>最大温差</source>
        <translation>Max. temp. spread</translation>
    </message>
    <message>
        <source>KI</source>
        <translation>KI</translation>
    </message>
    <message>
        <source>PWM 最大差值</source>
        <translation>Max. PWM spread</translation>
    </message>
    <message>
        <source>KD</source>
        <translation>KD</translation>
    </message>
    <message>
        <source>  设置PID</source>
        <translation>  Set PID</translation>
    </message>
    <message>
        <source> 重置最大温差</source>
        <translation> Reset spreads</translation>
    </message>
    <message>
        <source>不是数字，未发送</source>
        <translation>Not a number: not sent</translation>
    </message>
    <message>
        <source>为空，未发送</source>
        <translation>Empty: not sent</translation>
    </message>
    <message>
        <source>%1 为空</source>
        <translation>%1 empty</translation>
    </message>
    <message>
        <source>%1 不是数字</source>
        <translation>%1 not a number</translation>
    </message>
    <message>
        <source>%1，未发送</source>
        <translation>%1: not sent</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>每行一个样本：温度（0.1 ℃），PWM，KP，KI，KD</source>
        <translation>One sample a line: temperature (0.1 ℃), PWM, KP, KI, KD</translation>
    </message>
    <message>
        <source>%1 秒内没有收到PID样本：串口未打开或设备没有应答</source>
        <translation>No PID sample for %1 s: the port is not open or the unit does not answer</translation>
    </message>
</context>
<context>
    <name>PidPlot</name>
    <message>
        <source>PWM</source>
        <translation>PWM</translation>
    </message>
    <message>
        <source>重置</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>经过时间 (秒)</source>
        <translation>Elapsed time (s)</translation>
    </message>
    <message>
        <source>温度 (℃)</source>
        <translation>Temperature (℃)</translation>
    </message>
    <message>
        <source>温度 ℃</source>
        <translation>Temp. ℃</translation>
    </message>
</context>
<context>
    <name>ProductionTestWd</name>
    <message>
        <source>通过</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>临界</source>
        <translation>Marginal</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>已中止</source>
        <translation>Aborted</translation>
    </message>
    <message>
        <source>生产测试</source>
        <translation>Production test</translation>
    </message>
    <message>
        <source>测试计划文件（.yaml）</source>
        <translation>Test plan file (.yaml)</translation>
    </message>
    <message>
        <source>选择…</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>测试计划</source>
        <translation>Test plan</translation>
    </message>
    <message>
        <source>输入或扫描序列号</source>
        <translation>Type or scan the serial number</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>操作员</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>记录文件夹</source>
        <translation>Records folder</translation>
    </message>
    <message>
        <source>开始测试</source>
        <translation>Start test</translation>
    </message>
    <message>
        <source>中止测试</source>
        <translation>Abort test</translation>
    </message>
    <message>
        <source>打开记录文件夹</source>
        <translation>Open record folder</translation>
    </message>
    <message>
        <source>步骤</source>
        <translation>Step</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>测量值</source>
        <translation>Measured</translation>
    </message>
    <message>
        <source>限值</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>说明</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>选择测试计划</source>
        <translation>Choose a test plan</translation>
    </message>
    <message>
        <source>测试计划 (*.yaml *.yml);;所有文件 (*)</source>
        <translation>Test plans (*.yaml *.yml);;All files (*)</translation>
    </message>
    <message>
        <source>无法读取测试计划：%1</source>
        <translation>Cannot read the test plan: %1</translation>
    </message>
    <message>
        <source>等待</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>计划 %1：%2 个步骤</source>
        <translation>Plan %1: %2 steps</translation>
    </message>
    <message>
        <source>未执行</source>
        <translation>Not run</translation>
    </message>
    <message>
        <source>请先打开设备端口。</source>
        <translation>Open the device port first.</translation>
    </message>
    <message>
        <source>请填写操作员。</source>
        <translation>Enter the operator.</translation>
    </message>
    <message>
        <source>无法创建记录文件夹 %1：%2</source>
        <translation>Cannot create the records folder %1: %2</translation>
    </message>
    <message>
        <source>设备 %1</source>
        <translation>Unit %1</translation>
    </message>
    <message>
        <source>设备报告的序列号 %1 与输入的 %2 不同</source>
        <translation>The unit reports serial number %1, not the %2 entered</translation>
    </message>
    <message>
        <source>进行中</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>记录：%1</source>
        <translation>Record: %1</translation>
    </message>
    <message>
        <source>测试进行中…</source>
        <translation>Test running…</translation>
    </message>
    <message>
        <source>正在中止：激光器关闭，TEC 与风扇回到自动…</source>
        <translation>Aborting: laser off, TEC and fans back to automatic…</translation>
    </message>
    <message>
        <source>不通过</source>
        <translation>Fail</translation>
    </message>
</context>
<context>
    <name>ServiceReport</name>
    <message>
        <source>未读到</source>
        <translation>not read</translation>
    </message>
    <message>
        <source>设备序列号</source>
        <translation>Serial no.</translation>
    </message>
    <message>
        <source>激光类型</source>
        <translation>Laser type</translation>
    </message>
    <message>
        <source>固件版本</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>运行时长</source>
        <translation>Run time</translation>
    </message>
    <message>
        <source>自动补偿时长</source>
        <translation>Compensation</translation>
    </message>
    <message>
        <source>温度保护阈值</source>
        <translation>Temp. limit</translation>
    </message>
    <message>
        <source>最大DAC</source>
        <translation>Max. DAC</translation>
    </message>
</context>
<context>
    <name>ServiceReportDialog</name>
    <message>
        <source>导出服务报告</source>
        <translation>Export service report</translation>
    </message>
    <message>
        <source>技术员</source>
        <translation>Technician</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Notes</translation>
    </message>
    <message>
        <source>纸张</source>
        <translation>Paper</translation>
    </message>
    <message>
        <source>本次连接全部</source>
        <translation>Whole session</translation>
    </message>
    <message>
        <source>最近 1 小时</source>
        <translation>Last hour</translation>
    </message>
    <message>
        <source>趋势图</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>浏览…</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>PDF 文件 (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
</context>
<context>
    <name>ServiceReportWriter</name>
    <message>
        <source>Korvex 服务报告</source>
        <translation>Korvex service report</translation>
    </message>
    <message>
        <source>Korvex %1 · 服务报告 · %2</source>
        <translation>Korvex %1 · service report · %2</translation>
    </message>
    <message>
        <source>服务报告</source>
        <translation>Service report</translation>
    </message>
    <message>
        <source>设备 %1 · %2 · 技术员 %3</source>
        <translation>Unit %1 · %2 · technician %3</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>导出时的状态</source>
        <translation>Status at export</translation>
    </message>
    <message>
        <source>设置（读自设备）</source>
        <translation>Settings (as read from the unit)</translation>
    </message>
    <message>
        <source>趋势</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>本次连接的事件与报警</source>
        <translation>Events and alarms of the session</translation>
    </message>
    <message>
        <source>没有事件。</source>
        <translation>No events.</translation>
    </message>
    <message>
        <source>技术员与备注</source>
        <translation>Technician and notes</translation>
    </message>
    <message>
        <source>技术员</source>
        <translation>Technician</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Korvex 版本</source>
        <translation>Korvex version</translation>
    </message>
    <message>
        <source>（无备注）</source>
        <translation>(no notes)</translation>
    </message>
</context>
<context>
    <name>TecDebug</name>
    <message>
        <source>TEC 调试</source>
        <translation>TEC test</translation>
    </message>
    <message>
        <source>打开TEC</source>
        <translation>TEC on</translation>
    </message>
    <message>
        <source>关闭TEC</source>
        <translation>TEC off</translation>
    </message>
    <message>
        <source>开TEC自控</source>
        <translation>TEC auto on</translation>
    </message>
    <message>
        <source>关闭TEC自控</source>
        <translation>TEC auto off</translation>
    </message>
    <message>
        <source>TEC功率</source>
        <translation>TEC power</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>只读：由滑块设置（DAC计数）</source>
        <translation>Read-only: set by the slider (DAC counts)</translation>
    </message>
    <message>
        <source>未发送</source>
        <translation>not sent yet</translation>
    </message>
    <message>
        <source>上次发送：TEC %1，%2
驱动 %3 / %4（%5%）
设备报告 TEC电流：%6</source>
        <translation>Last sent: TEC %1, %2
Drive %3 / %4 (%5%)
TEC current reported: %6</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>自动控制</source>
        <translation>automatic</translation>
    </message>
    <message>
        <source>手动驱动</source>
        <translation>manual drive</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
</context>
<context>
    <name>TrendRecorder</name>
    <message>
        <source>未在记录</source>
        <translation>Not recording</translation>
    </message>
</context>
<context>
    <name>TrendWd</name>
    <message>
        <source>趋势图</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>时间范围</source>
        <translation>Span</translation>
    </message>
    <message>
        <source>1 分钟</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>10 分钟</source>
        <translation>10 min</translation>
    </message>
    <message>
        <source>1 小时</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>未记录</source>
        <translation>Not recording</translation>
    </message>
    <message>
        <source>温度 ℃</source>
        <translation>Temp. ℃</translation>
    </message>
    <message>
        <source>温度告警</source>
        <translation>Temp. alarm</translation>
    </message>
    <message>
        <source>电流 A</source>
        <translation>Current A</translation>
    </message>
    <message>
        <source>转速 rpm</source>
        <translation>Speed rpm</translation>
    </message>
    <message>
        <source>风扇告警</source>
        <translation>Fan alarm</translation>
    </message>
    <message>
        <source>激光温度</source>
        <translation>Laser temp.</translation>
    </message>
    <message>
        <source>温度2</source>
        <translation>Temp. 2</translation>
    </message>
    <message>
        <source>MCU温度</source>
        <translation>MCU temp.</translation>
    </message>
    <message>
        <source>环境温度</source>
        <translation>Ambient temp.</translation>
    </message>
    <message>
        <source>温度保护阈值</source>
        <translation>Temp. limit</translation>
    </message>
    <message>
        <source>激光电流</source>
        <translation>Laser current</translation>
    </message>
    <message>
        <source>TEC电流</source>
        <translation>TEC current</translation>
    </message>
    <message>
        <source>风扇1</source>
        <translation>Fan 1</translation>
    </message>
    <message>
        <source>风扇2</source>
        <translation>Fan 2</translation>
    </message>
    <message>
        <source>风扇3</source>
        <translation>Fan 3</translation>
    </message>
    <message>
        <source>鼠标移到图上，这里显示该时刻的数值</source>
        <translation>Point at a chart to read its values here</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>记录到 CSV 文件</source>
        <translation>Record to CSV file</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>记录已停止：无法写入 %1（%2）</source>
        <translation>Recording stopped: cannot write %1 (%2)</translation>
    </message>
    <message>
        <source>● 正在记录 %1：%2 行</source>
        <translation>● Recording %1: %2 rows</translation>
    </message>
    <message>
        <source>记录已结束 %1：%2 行</source>
        <translation>Recording ended %1: %2 rows</translation>
    </message>
    <message>
        <source>（设备未连接，记录丢失行）</source>
        <translation>(device away, lost rows recorded)</translation>
    </message>
    <message>
        <source>导出图片…</source>
        <translation>Export picture...</translation>
    </message>
    <message>
        <source>导出 CSV…</source>
        <translation>Export CSV...</translation>
    </message>
    <message>
        <source>回到实时</source>
        <translation>Back to live</translation>
    </message>
    <message>
        <source>滚轮缩放，拖动平移，按住 Shift 拖动选择时段</source>
        <translation>Wheel to zoom, drag to pan, Shift and drag to pick a span</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG pictures (*.png)</translation>
    </message>
    <message>
        <source>已导出 %1</source>
        <translation>Exported %1</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>无法导出 %1：%2</source>
        <translation>Cannot export %1: %2</translation>
    </message>
</context>
<context>
    <name>UpdateWidget</name>
    <message>
        <source>设备升级</source>
        <translation>Firmware update</translation>
    </message>
    <message>
        <source>串口配置</source>
        <translation>Serial port</translation>
    </message>
    <message>
        <source>端口：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>921600</source>
        <translation>921600</translation>
    </message>
    <message>
        <source>460800</source>
        <translation>460800</translation>
    </message>
    <message>
        <source>230400</source>
        <translation>230400</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>57600</source>
        <translation>57600</translation>
    </message>
    <message>
        <source>38400</source>
        <translation>38400</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>1200</source>
        <translation>1200</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>文件发送</source>
        <translation>Send file</translation>
    </message>
    <message>
        <source>文件路径：</source>
        <translation>File:</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>传输进度：</source>
        <translation>Progress:</translation>
    </message>
    <message>
        <source>文件接收</source>
        <translation>Receive file</translation>
    </message>
    <message>
        <source>接收</source>
        <translation>Receive</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>串口打开失败</source>
        <translation>Port not opened</translation>
    </message>
    <message>
        <source>请检查串口是否已被占用！</source>
        <translation>Is the port in use by another program?</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close port</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open port</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open file</translation>
    </message>
    <message>
        <source>任意文件 (*.*)</source>
        <translation>All files (*.*)</translation>
    </message>
    <message>
        <source>选择目录</source>
        <translation>Choose folder</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>文件发送失败！</source>
        <translation>Sending the file failed!</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>文件接收失败！</source>
        <translation>Receiving the file failed!</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Success</translation>
    </message>
    <message>
        <source>文件发送成功！</source>
        <translation>File sent.</translation>
    </message>
    <message>
        <source>文件接收成功！</source>
        <translation>File received.</translation>
    </message>
    <message>
        <source>端口名或路径</source>
        <translation>Port name or path</translation>
    </message>
    <message>
        <source>可直接输入端口名，如 /dev/serial/by-id/…</source>
        <translation>Any port name can be typed, e.g. /dev/serial/by-id/…</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>重新列出系统中的串口</source>
        <translation>List the system&apos;s serial ports again</translation>
    </message>
    <message>
        <source>重新连接设备</source>
        <translation>Reconnect device</translation>
    </message>
    <message>
        <source>关闭本窗口的串口，由主窗口重新打开设备串口并读取固件版本</source>
        <translation>Close this window&apos;s port; the main window reopens the device port and reads the firmware version</translation>
    </message>
    <message>
        <source>文件发送完成：%1，%2 字节，用时 %3 秒</source>
        <translation>File sent: %1, %2 bytes in %3 s</translation>
    </message>
    <message>
        <source>文件接收完成：%1，%2 字节，用时 %3 秒</source>
        <translation>File received: %1, %2 bytes in %3 s</translation>
    </message>
    <message>
        <source>原因不明</source>
        <translation>reason unknown</translation>
    </message>
    <message>
        <source>文件发送失败：%1，已传 %2 字节，用时 %3 秒，原因：%4</source>
        <translation>Sending failed: %1, %2 bytes in %3 s, reason: %4</translation>
    </message>
    <message>
        <source>文件接收失败：%1，已传 %2 字节，用时 %3 秒，原因：%4</source>
        <translation>Receiving failed: %1, %2 bytes in %3 s, reason: %4</translation>
    </message>
</context>
<context>
    <name>YmodemFileReceive</name>
    <message>
        <source>%1 is a link; a received file is never written through one</source>
        <translation>%1 is a link; a received file is never written through one</translation>
    </message>
    <message>
        <source>%1 exists and is not a plain file</source>
        <translation>%1 exists and is not a plain file</translation>
    </message>
    <message>
        <source>header without a file name</source>
        <translation>header without a file name</translation>
    </message>
    <message>
        <source>refused unsafe file name &quot;%1&quot;</source>
        <translation>refused unsafe file name &quot;%1&quot;</translation>
    </message>
    <message>
        <source>header for &quot;%1&quot; carries no valid size</source>
        <translation>header for &quot;%1&quot; carries no valid size</translation>
    </message>
    <message>
        <source>cannot create %1: %2</source>
        <translation>cannot create %1: %2</translation>
    </message>
    <message>
        <source>more data than the announced %1 bytes</source>
        <translation>more data than the announced %1 bytes</translation>
    </message>
    <message>
        <source>writing %1 failed: %2</source>
        <translation>writing %1 failed: %2</translation>
    </message>
    <message>
        <source>transfer ended after %1 of %2 bytes</source>
        <translation>transfer ended after %1 of %2 bytes</translation>
    </message>
    <message>
        <source>saving %1 failed: %2</source>
        <translation>saving %1 failed: %2</translation>
    </message>
    <message>
        <source>cancelled by the sender</source>
        <translation>cancelled by the sender</translation>
    </message>
    <message>
        <source>no sender answered</source>
        <translation>no sender answered</translation>
    </message>
    <message>
        <source>the sender stopped answering or too many errors</source>
        <translation>the sender stopped answering or too many errors</translation>
    </message>
</context>
<context>
    <name>YmodemFileTransfer</name>
    <message>
        <source>a transfer is already running</source>
        <translation>a transfer is already running</translation>
    </message>
    <message>
        <source>stopped by the user</source>
        <translation>stopped by the user</translation>
    </message>
    <message>
        <source>serial port error: %1</source>
        <translation>serial port error: %1</translation>
    </message>
</context>
<context>
    <name>YmodemFileTransmit</name>
    <message>
        <source>cannot open %1: %2</source>
        <translation>cannot open %1: %2</translation>
    </message>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 is not a regular file</translation>
    </message>
    <message>
        <source>file name too long for the header (%1 bytes, at most %2)</source>
        <translation>file name too long for the header (%1 bytes, at most %2)</translation>
    </message>
    <message>
        <source>reading %1 failed after %2 of %3 bytes</source>
        <translation>reading %1 failed after %2 of %3 bytes</translation>
    </message>
    <message>
        <source>ended after %1 of %2 bytes</source>
        <translation>ended after %1 of %2 bytes</translation>
    </message>
    <message>
        <source>the receiver refused the file at its end</source>
        <translation>the receiver refused the file at its end</translation>
    </message>
    <message>
        <source>cancelled by the receiver</source>
        <translation>cancelled by the receiver</translation>
    </message>
    <message>
        <source>no receiver answered</source>
        <translation>no receiver answered</translation>
    </message>
    <message>
        <source>the receiver started over %1 times and never acknowledged the end of the file</source>
        <translation>the receiver started over %1 times and never acknowledged the end of the file</translation>
    </message>
    <message>
        <source>the receiver stopped answering or too many errors</source>
        <translation>the receiver stopped answering or too many errors</translation>
    </message>
</context>
<context>
    <name>fan_debug</name>
    <message>
        <source>开风扇自控</source>
        <translation>Fan auto on</translation>
    </message>
    <message>
        <source>关闭风扇自控</source>
        <translation>Fan auto off</translation>
    </message>
    <message>
        <source>风扇PWM</source>
        <translation>Fan PWM</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>风扇调试</source>
        <translation>Fan test</translation>
    </message>
    <message>
        <source>只读：由滑块设置（PWM）</source>
        <translation>Read-only: set by the slider (PWM)</translation>
    </message>
    <message>
        <source>未发送</source>
        <translation>not sent yet</translation>
    </message>
    <message>
        <source>%1 / %2（%3%）</source>
        <translation>%1 / %2 (%3%)</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>风扇自动控制</source>
        <translation>fans automatic</translation>
    </message>
    <message>
        <source>风扇手动驱动</source>
        <translation>fans on manual drive</translation>
    </message>
    <message>
        <source>上次发送：%1，PWM %2
设备报告 风扇1/2/3转速：%3</source>
        <translation>Last sent: %1, PWM %2
Fan 1/2/3 speeds reported: %3</translation>
    </message>
</context>
<context>
    <name>serialNumInput</name>
    <message>
        <source>设备序列号选择</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>激光型号</source>
        <translation>Laser model</translation>
    </message>
    <message>
        <source>出厂日期</source>
        <translation>Made on</translation>
    </message>
    <message>
        <source>获取当前日期</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>当日序列号</source>
        <translation>Day no.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
