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
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
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
    <name>CaptureEnded</name>
    <message>
        <source>麦克风已断开，录音已停止</source>
        <translation>The microphone was disconnected. Recording stopped</translation>
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
    <name>CommandLine</name>
    <message>
        <source>把每次录音的决定（引擎、开始、停止、文字长度）写到标准错误输出；从不写出文字或 API Key。错误总会写出。</source>
        <translation>Log each recording&apos;s decisions (engine, start, stop, text length) to standard error; never the text or the API key. Errors are always logged.</translation>
    </message>
    <message>
        <source>让正在运行的 Sayvo 开始录音，或停止录音并粘贴，和点按托盘图标一样；然后退出。</source>
        <translation>Tell the running Sayvo to start a recording, or to stop it and paste, as a click on its tray icon does; then exit.</translation>
    </message>
    <message>
        <source>告诉正在运行的 Sayvo 快捷键已按下；然后退出。</source>
        <translation>Tell the running Sayvo that the hotkey is pressed; then exit.</translation>
    </message>
    <message>
        <source>告诉正在运行的 Sayvo 快捷键已松开：录音停止，文字被粘贴；然后退出。</source>
        <translation>Tell the running Sayvo that the hotkey is let go: the recording stops and its text is pasted; then exit.</translation>
    </message>
    <message>
        <source>按住说话的听写工具：按住快捷键说话，松开后文字粘贴到当前应用。Sayvo 位于系统托盘中。</source>
        <translation>Push-to-talk dictation: hold the hotkey, speak, let go, and the words are pasted into the focused application. Sayvo lives in the system tray.</translation>
    </message>
    <message>
        <source>--toggle、--start 和 --stop 一次只能用一个</source>
        <translation>--toggle, --start and --stop go one at a time</translation>
    </message>
    <message>
        <source>Sayvo 已在运行，但没有回应：%1</source>
        <translation>Sayvo is already running but didn’t answer: %1</translation>
    </message>
    <message>
        <source>Sayvo 已在运行，已打开它的设置面板</source>
        <translation>Sayvo is already running. Its panel is open</translation>
    </message>
    <message>
        <source>无法确保只运行一个 Sayvo（%1）</source>
        <translation>Can’t make sure only one Sayvo runs (%1)</translation>
    </message>
</context>
<context>
    <name>DesktopSystemPermissions</name>
    <message>
        <source>麦克风</source>
        <translation>Microphone</translation>
    </message>
    <message>
        <source>X11 会话</source>
        <translation>X11 session</translation>
    </message>
    <message>
        <source>Wayland 会话中快捷键和粘贴只对 X11 应用有效</source>
        <translation>In a Wayland session the hotkey and pasting work in X11 applications only</translation>
    </message>
    <message>
        <source>未连接到 X11 显示服务器</source>
        <translation>Not connected to an X11 display server</translation>
    </message>
    <message>
        <source>未找到麦克风，请检查声音设置</source>
        <translation>No microphone found. Check the sound settings</translation>
    </message>
    <message>
        <source>无法连接 PulseAudio 声音服务</source>
        <translation>Can’t connect to the PulseAudio sound service</translation>
    </message>
    <message>
        <source>XInput2 扩展</source>
        <translation>XInput2 extension</translation>
    </message>
    <message>
        <source>快捷键需要 X 服务器的 XInput2 扩展</source>
        <translation>The hotkey needs the X server’s XInput2 extension</translation>
    </message>
    <message>
        <source>XTEST 扩展</source>
        <translation>XTEST extension</translation>
    </message>
    <message>
        <source>粘贴需要 X 服务器的 XTEST 扩展</source>
        <translation>Pasting needs the X server’s XTEST extension</translation>
    </message>
    <message>
        <source>打开声音设置</source>
        <translation>Open Sound Settings</translation>
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
    <name>GnomeShortcutKeyboard</name>
    <message>
        <source>在面板中点按快捷键按钮，把它添加到 GNOME 的键盘快捷键</source>
        <translation>Click the hotkey button in the panel to add it to GNOME’s keyboard shortcuts</translation>
    </message>
    <message>
        <source>无法写入 GNOME 的键盘快捷键设置</source>
        <translation>Can’t write GNOME’s keyboard shortcut settings</translation>
    </message>
</context>
<context>
    <name>HotkeyManager</name>
    <message>
        <source>%1 用于输入字符，不能作为快捷键</source>
        <translation>%1 types characters and can’t be the hotkey</translation>
    </message>
    <message>
        <source>%1 会影响打字，请加上 Ctrl、Alt 或 Super</source>
        <translation>%1 would get in the way of typing. Add Ctrl, Alt or Super</translation>
    </message>
</context>
<context>
    <name>JsonFilePreferences</name>
    <message>
        <source>设置文件无法读取，原文件已另存为 %1，现使用默认设置</source>
        <translation>The settings file couldn’t be read. It was set aside as %1 and the defaults are used</translation>
    </message>
    <message>
        <source>设置文件 %1 无法读取，现使用默认设置</source>
        <translation>The settings file %1 couldn’t be read. The defaults are used</translation>
    </message>
</context>
<context>
    <name>LinuxPlatform</name>
    <message>
        <source>Wayland 会话：快捷键只在 X11 窗口有焦点时有效，粘贴也只到达 X11 应用</source>
        <translation>Wayland session: the hotkey works only while an X11 window has the focus, and pasting reaches X11 applications only</translation>
    </message>
    <message>
        <source>Wayland 会话：%1</source>
        <translation>Wayland session: %1</translation>
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
        <translation>Get an API key from Alibaba Cloud</translation>
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
    <message>
        <source>API Key：%1</source>
        <translation>API key: %1</translation>
    </message>
    <message>
        <source>%1，%2</source>
        <translation>%1. %2</translation>
    </message>
</context>
<context>
    <name>PocketSphinxSpeechService</name>
    <message>
        <source>找不到离线语音模型（查找位置：%1）。请安装 pocketsphinx-en-us 软件包，或在设置中填入 API Key 改用云端识别</source>
        <translation>No on-device speech model found (looked in %1). Install the pocketsphinx-en-us package, or enter an API key in the panel to use cloud recognition</translation>
    </message>
    <message>
        <source>离线语音模型无法加载（%1）。请重新安装 pocketsphinx-en-us 软件包</source>
        <translation>The on-device speech model couldn’t be loaded (%1). Reinstall the pocketsphinx-en-us package</translation>
    </message>
    <message>
        <source>离线语音模型</source>
        <translation>On-device speech model</translation>
    </message>
</context>
<context>
    <name>PortalSyntheticKeyboard</name>
    <message>
        <source>桌面不提供远程输入（RemoteDesktop 门户），无法自动粘贴。文字已在剪贴板中，请按 Ctrl+V</source>
        <translation>The desktop offers no remote input (RemoteDesktop portal), so the text can’t be pasted for you. It is on the clipboard: press Ctrl+V</translation>
    </message>
    <message>
        <source>没有获准向其他应用发送按键。文字已在剪贴板中，请按 Ctrl+V</source>
        <translation>Sayvo wasn’t allowed to send keys to other applications. The text is on the clipboard: press Ctrl+V</translation>
    </message>
    <message>
        <source>无法打开远程输入会话。文字已在剪贴板中，请按 Ctrl+V</source>
        <translation>Couldn’t open a remote input session. The text is on the clipboard: press Ctrl+V</translation>
    </message>
    <message>
        <source>桌面没有允许 Sayvo 使用键盘。文字已在剪贴板中，请按 Ctrl+V</source>
        <translation>The desktop didn’t let Sayvo use the keyboard. The text is on the clipboard: press Ctrl+V</translation>
    </message>
    <message>
        <source>桌面不再接受之前的授权，下次粘贴时会重新询问。文字已在剪贴板中，请按 Ctrl+V</source>
        <translation>The desktop no longer accepts the earlier permission and will ask again at the next paste. The text is on the clipboard: press Ctrl+V</translation>
    </message>
    <message>
        <source>远程输入会话已结束。文字已在剪贴板中，请按 Ctrl+V</source>
        <translation>The remote input session ended. The text is on the clipboard: press Ctrl+V</translation>
    </message>
</context>
<context>
    <name>PulseAudioCapture</name>
    <message>
        <source>无法启动录音线程</source>
        <translation>Couldn’t start the recording thread</translation>
    </message>
    <message>
        <source>无法连接声音服务器</source>
        <translation>Can’t connect to the sound server</translation>
    </message>
    <message>
        <source>声音服务器没有响应</source>
        <translation>The sound server didn’t respond</translation>
    </message>
    <message>
        <source>无法打开麦克风</source>
        <translation>Couldn’t open the microphone</translation>
    </message>
    <message>
        <source>麦克风没有响应</source>
        <translation>The microphone didn’t respond</translation>
    </message>
    <message>
        <source>麦克风已断开</source>
        <translation>The microphone was disconnected</translation>
    </message>
    <message>
        <source>没有可用的麦克风</source>
        <translation>No microphone available</translation>
    </message>
</context>
<context>
    <name>QtApplicationShell</name>
    <message>
        <source>设置…</source>
        <translation>Settings…</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>ShortcutPortalKeyboard</name>
    <message>
        <source>按住说话（Sayvo）</source>
        <translation>Hold to talk (Sayvo)</translation>
    </message>
    <message>
        <source>桌面不提供全局快捷键（GlobalShortcuts 门户），请在桌面设置中把 sayvo --toggle 绑定到一个键</source>
        <translation>The desktop offers no global shortcuts (GlobalShortcuts portal). Bind sayvo --toggle to a key in the desktop’s settings</translation>
    </message>
    <message>
        <source>桌面拒绝了 Sayvo 的全局快捷键</source>
        <translation>The desktop refused Sayvo’s global shortcut</translation>
    </message>
    <message>
        <source>无法向桌面注册全局快捷键</source>
        <translation>Couldn’t register the global shortcut with the desktop</translation>
    </message>
    <message>
        <source>桌面结束了 Sayvo 的全局快捷键</source>
        <translation>The desktop ended Sayvo’s global shortcut</translation>
    </message>
    <message>
        <source>桌面没有为 Sayvo 分配按键，请在快捷键设置中设置</source>
        <translation>The desktop gave Sayvo no key. Set one in the shortcut settings</translation>
    </message>
    <message>
        <source>正在向桌面注册快捷键…</source>
        <translation>Registering the shortcut with the desktop…</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>没有会话总线，运行时文件夹也不可写：%1</source>
        <translation>No session bus, and the runtime folder isn’t writable: %1</translation>
    </message>
    <message>
        <source>无法打开 %1</source>
        <translation>Can’t open %1</translation>
    </message>
    <message>
        <source>无法锁定 %1</source>
        <translation>Can’t lock %1</translation>
    </message>
    <message>
        <source>Sayvo 没有在运行</source>
        <translation>Sayvo isn’t running</translation>
    </message>
    <message>
        <source>没有回应</source>
        <translation>No answer</translation>
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
<context>
    <name>TypeSimulator</name>
    <message>
        <source>无法写入剪贴板，文字仍在指示器中</source>
        <translation>Couldn’t write to the clipboard. The text is still in the indicator</translation>
    </message>
</context>
<context>
    <name>WaylandSession</name>
    <message>
        <source>XWayland（GNOME 转给 Wayland 应用）</source>
        <translation>XWayland (GNOME passes it to Wayland applications)</translation>
    </message>
    <message>
        <source>Wayland 会话</source>
        <translation>Wayland session</translation>
    </message>
    <message>
        <source>全局快捷键</source>
        <translation>Global shortcut</translation>
    </message>
    <message>
        <source>%1（GNOME 键盘快捷键）</source>
        <translation>%1 (GNOME keyboard shortcut)</translation>
    </message>
    <message>
        <source>粘贴</source>
        <translation>Pasting</translation>
    </message>
    <message>
        <source>由桌面的远程输入（RemoteDesktop 门户）发送 Shift+Insert</source>
        <translation>Shift+Insert sent through the desktop’s remote input (RemoteDesktop portal)</translation>
    </message>
    <message>
        <source>剪贴板</source>
        <translation>Clipboard</translation>
    </message>
    <message>
        <source>请在面板中把快捷键添加到 GNOME 的键盘快捷键</source>
        <translation>add the hotkey to GNOME’s keyboard shortcuts in the panel</translation>
    </message>
    <message>
        <source>没有全局快捷键门户，请用 sayvo --toggle</source>
        <translation>no global shortcuts portal, use sayvo --toggle</translation>
    </message>
    <message>
        <source>没有远程输入门户，文字只放到剪贴板</source>
        <translation>no remote input portal, the text only goes to the clipboard</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
</context>
<context>
    <name>WlrDataControlPasteboard</name>
    <message>
        <source>无法连接 Wayland 显示服务器</source>
        <translation>Can’t connect to the Wayland display server</translation>
    </message>
    <message>
        <source>合成器不支持 wlr-data-control 协议，无法在没有焦点时写入剪贴板</source>
        <translation>The compositor lacks the wlr-data-control protocol, so the clipboard can’t be written without the focus</translation>
    </message>
    <message>
        <source>Wayland 显示服务器没有输入设备（seat），无法使用剪贴板</source>
        <translation>The Wayland display server has no input seat, so the clipboard can’t be used</translation>
    </message>
</context>
<context>
    <name>X11AccessibilityTrust</name>
    <message>
        <source>X 服务器没有 XInput2 扩展：快捷键只在 Sayvo 自己的窗口中有效，识别的文字也无法自动粘贴，会留在剪贴板上等你手动粘贴</source>
        <translation>The X server has no XInput2 extension: the hotkey works only in Sayvo’s own windows, and the text can’t be pasted for you; it stays on the clipboard for you to paste</translation>
    </message>
    <message>
        <source>X 服务器没有 XInput2 和 XTEST 扩展：快捷键只在 Sayvo 自己的窗口中有效，识别的文字也无法自动粘贴，会留在剪贴板上等你手动粘贴</source>
        <translation>The X server has neither the XInput2 nor the XTEST extension: the hotkey works only in Sayvo’s own windows, and the text can’t be pasted for you; it stays on the clipboard for you to paste</translation>
    </message>
    <message>
        <source>X 服务器没有 XTEST 扩展：识别的文字无法自动粘贴，会留在剪贴板上等你手动粘贴</source>
        <translation>The X server has no XTEST extension: the text can’t be pasted for you; it stays on the clipboard for you to paste</translation>
    </message>
</context>
<context>
    <name>XdgAutostart</name>
    <message>
        <source>无法删除 %1（%2）</source>
        <translation>Can’t delete %1 (%2)</translation>
    </message>
    <message>
        <source>无法创建文件夹 %1（%2）</source>
        <translation>Can’t create the folder %1 (%2)</translation>
    </message>
    <message>
        <source>无法写入 %1（%2）</source>
        <translation>Can’t write %1 (%2)</translation>
    </message>
</context>
</TS>
