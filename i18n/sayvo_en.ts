<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>APIKeyStore</name>
    <message>
        <source>密钥环</source>
        <translation>Keyring</translation>
    </message>
    <message>
        <source>API Key 保存在系统密钥环中</source>
        <translation>The API key is kept in the system keyring</translation>
    </message>
    <message>
        <source>API Key 保存在配置文件中（仅本人可读）</source>
        <translation>the API key is kept in the settings file (readable by you only)</translation>
    </message>
    <message>
        <source>无法读取其中的 API Key</source>
        <translation>so the API key in it can’t be read</translation>
    </message>
    <message>
        <source>正在等待密钥环解锁，解锁后请再试一次</source>
        <translation>Waiting for the keyring to unlock. Try again once it is unlocked</translation>
    </message>
    <message>
        <source>密钥环未解锁，无法读取 API Key：解锁后请再试一次</source>
        <translation>The keyring is locked, so the API key can’t be read. Unlock it and try again</translation>
    </message>
    <message>
        <source>密钥环未解锁</source>
        <translation>The keyring is locked</translation>
    </message>
    <message>
        <source>密钥环拒绝了访问</source>
        <translation>The keyring refused access</translation>
    </message>
    <message>
        <source>密钥环服务已停止</source>
        <translation>The keyring service stopped</translation>
    </message>
    <message>
        <source>没有运行中的密钥环服务</source>
        <translation>No keyring service is running</translation>
    </message>
    <message>
        <source>%1，%2</source>
        <translation>%1, %2</translation>
    </message>
</context>
<context>
    <name>AliyunASR</name>
    <message>
        <source>识别服务没有回应</source>
        <translation>The recognition service didn’t answer</translation>
    </message>
    <message>
        <source>音频引擎启动失败: %1</source>
        <translation>Could not start the microphone: %1</translation>
    </message>
    <message>
        <source>无法创建音频引擎</source>
        <translation>the audio engine could not be created</translation>
    </message>
    <message>
        <source>无法创建音频转换器</source>
        <translation>Could not create the audio converter</translation>
    </message>
</context>
<context>
    <name>AppDelegate</name>
    <message>
        <source>设置无法保存：本次运行中的更改在退出后不会保留</source>
        <translation>Settings can’t be saved: changes made now are lost when Sayvo quits</translation>
    </message>
    <message>
        <source>保存的快捷键无法使用，请按住 %1 说话，或在设置中重新录制</source>
        <translation>The saved hotkey can’t be used. Hold %1 to talk, or set a new one in the panel</translation>
    </message>
    <message>
        <source>按住 %1 说话</source>
        <translation>Hold %1 to talk</translation>
    </message>
    <message>
        <source>快捷键 %1 已被其他程序占用</source>
        <translation>%1 is taken by another program</translation>
    </message>
    <message>
        <source>桌面没有系统托盘，看不到 Sayvo 的图标：再次启动 Sayvo 即可打开设置面板</source>
        <translation>This desktop has no tray for Sayvo’s icon. Start Sayvo again to open its panel</translation>
    </message>
</context>
<context>
    <name>CloudFailure</name>
    <message>
        <source>API Key 无效或已失效，请在设置中检查 API Key</source>
        <translation>The API key is invalid or has expired. Check it in the panel</translation>
    </message>
    <message>
        <source>无法连接识别服务，请检查网络连接</source>
        <translation>Can’t reach the recognition service. Check the network connection</translation>
    </message>
    <message>
        <source>无法安全连接识别服务（证书不受信任），请检查网络或代理设置</source>
        <translation>Can’t connect securely to the recognition service (untrusted certificate). Check the network or proxy settings</translation>
    </message>
    <message>
        <source>与识别服务的连接已断开，请检查网络后重试</source>
        <translation>The connection to the recognition service was lost. Check the network and try again</translation>
    </message>
    <message>
        <source>识别服务出错，请稍后重试</source>
        <translation>The recognition service had an error. Try again later</translation>
    </message>
</context>
<context>
    <name>FloatingIndicatorView</name>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>已复制</source>
        <translation>Copied</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>插入</source>
        <translation>Insert</translation>
    </message>
    <message>
        <source>已插入</source>
        <translation>Inserted</translation>
    </message>
    <message>
        <source>正在识别...</source>
        <translation>Recognising…</translation>
    </message>
    <message>
        <source>马上就好</source>
        <translation>Almost done</translation>
    </message>
    <message>
        <source>识别完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>可插入或复制文字</source>
        <translation>Insert or copy the text</translation>
    </message>
    <message>
        <source>没有听到说话</source>
        <translation>Nothing heard</translation>
    </message>
    <message>
        <source>按住快捷键再说一次</source>
        <translation>Hold the hotkey and try again</translation>
    </message>
    <message>
        <source>未能完成识别</source>
        <translation>Recognition failed</translation>
    </message>
    <message>
        <source>原因见下方</source>
        <translation>See below for why</translation>
    </message>
    <message>
        <source>已识别的文字仍可插入或复制</source>
        <translation>You can still insert or copy the text</translation>
    </message>
    <message>
        <source>正在聆听...</source>
        <translation>Listening…</translation>
    </message>
    <message>
        <source>松开快捷键或静音自动停止</source>
        <translation>Release the hotkey or pause to stop</translation>
    </message>
    <message>
        <source>识别中</source>
        <translation>Recognising</translation>
    </message>
    <message>
        <source>请开始说话...</source>
        <translation>Start speaking…</translation>
    </message>
</context>
<context>
    <name>MenuBarView</name>
    <message>
        <source>识别引擎</source>
        <translation>Recognition</translation>
    </message>
    <message>
        <source>识别引擎：%1</source>
        <translation>Recognition: %1</translation>
    </message>
    <message>
        <source>保存 API Key</source>
        <translation>Save API key</translation>
    </message>
    <message>
        <source>编辑 API Key</source>
        <translation>Edit API key</translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation>Hotkey</translation>
    </message>
    <message>
        <source>更改快捷键</source>
        <translation>Change hotkey</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>缺失</source>
        <translation>Missing</translation>
    </message>
    <message>
        <source>阿里云</source>
        <translation>Alibaba Cloud</translation>
    </message>
    <message>
        <source>系统</source>
        <translation>On-device</translation>
    </message>
    <message>
        <source>添加到 %1 快捷键</source>
        <translation>Add to %1 shortcuts</translation>
    </message>
    <message>
        <source>没有可打开网页的浏览器，网址已复制到剪贴板：</source>
        <translation>No web browser to open the page. The address is on the clipboard: </translation>
    </message>
    <message>
        <source>API Key 含有换行等无效字符，未保存</source>
        <translation>The API key contains a line break or another invalid character. Not saved</translation>
    </message>
    <message>
        <source>未设置（使用系统识别）</source>
        <translation>Not set (on-device recognition)</translation>
    </message>
    <message>
        <source>等待密钥环解锁</source>
        <translation>Waiting for the keyring to unlock</translation>
    </message>
    <message>
        <source>想要更精准的识别体验？</source>
        <translation>Want more accurate recognition?</translation>
    </message>
    <message>
        <source>前往阿里云百炼获取 API Key</source>
        <translation>Get an API key from Alibaba Cloud Model Studio</translation>
    </message>
    <message>
        <source>已启用阿里云识别引擎</source>
        <translation>Alibaba Cloud recognition is on</translation>
    </message>
    <message>
        <source>按下新键...</source>
        <translation>Press a new key…</translation>
    </message>
    <message>
        <source>已被其他程序占用</source>
        <translation>Taken by another program</translation>
    </message>
    <message>
        <source>未设置</source>
        <translation>Not set</translation>
    </message>
    <message>
        <source>系统权限</source>
        <translation>Permissions</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>开机启动</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>无法更改开机启动：</source>
        <translation>Could not change start at login: </translation>
    </message>
</context>
<context>
    <name>SpeechRecognizer</name>
    <message>
        <source>请在系统设置中开启麦克风权限</source>
        <translation>Allow microphone access in the system settings</translation>
    </message>
    <message>
        <source>请在系统设置中开启语音识别权限</source>
        <translation>Allow speech recognition in the system settings</translation>
    </message>
    <message>
        <source>启动语音识别失败: %1</source>
        <translation>Could not start recognition: %1</translation>
    </message>
    <message>
        <source>语音识别服务当前不可用</source>
        <translation>Speech recognition isn’t available right now</translation>
    </message>
    <message>
        <source>API Key 含有换行等无效字符，请在设置中重新输入</source>
        <translation>The API key contains a line break or another invalid character. Enter it again in the panel</translation>
    </message>
    <message>
        <source>识别错误: %1</source>
        <translation>Recognition error: %1</translation>
    </message>
    <message>
        <source>无法创建识别任务</source>
        <translation>Could not create a recognition task</translation>
    </message>
    <message>
        <source>无法创建音频引擎</source>
        <translation>Could not open the microphone</translation>
    </message>
    <message>
        <source>无法创建识别请求</source>
        <translation>Could not create a recognition request</translation>
    </message>
    <message>
        <source>无效的音频格式，请检查麦克风设置</source>
        <translation>The microphone’s audio format can’t be used. Check the sound settings</translation>
    </message>
</context>
</TS>
