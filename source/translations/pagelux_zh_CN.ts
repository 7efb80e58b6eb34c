<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>main</name>
    <message>
        <source>程序已经启动，请立刻关闭，并且重试！</source>
        <translation>程序已经启动，请立刻关闭，并且重试！</translation>
    </message>
</context>
</TS>
